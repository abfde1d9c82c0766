#pragma once
// Dialog units to pixels from the dialog font, for every dialog laid out in them: x by a quarter of
// the average character width, y by an eighth of the character height, so layouts keep their
// proportions on any screen. The dialog font is a CJK face whose Latin letters are half-width:
// its average width is half its em and its height the em, whatever line spacing the face serving
// it here has (a taller one would stretch every dialog by half again).
#include <QFont>
#include <QRect>

QFont DialogFont(); // "宋体" 9 pt, served by a CJK font here
QRect DialogUnitsToPixels(const QRect& units, const QFont& font = DialogFont());
