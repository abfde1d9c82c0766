#pragma once
// Dialog units to pixels from the dialog font, for every dialog laid out in them: x by a quarter of
// the average character width, y by an eighth of the character height, so layouts keep their
// proportions on any screen. The dialog font is a CJK face whose Latin letters are half-width:
// its average width is half its em and its height the em, whatever line spacing the face serving
// it here has (a taller one would stretch every dialog by half again).
#include <QFont>
#include <QRect>
#include <QWidget>

QFont DialogFont(); // "宋体" 9 pt, served by a CJK font here
QRect DialogUnitsToPixels(const QRect& units, const QFont& font = DialogFont());

// Places a control of a dialog at its dialog-unit geometry and tags it with its numeric id (the
// "controlId" property), by which the dialog's code and the tests find it.
template <typename T>
T* PlaceControl(T* widget, int id, const QRect& units)
{
    widget->setProperty("controlId", id);
    widget->setGeometry(DialogUnitsToPixels(units, widget->font()));
    return widget;
}

// The direct child of `dialog` with that id, or nullptr.
QWidget* FindControl(const QWidget* dialog, int id);
