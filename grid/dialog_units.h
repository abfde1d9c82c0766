#pragma once
// Dialog units to pixels from the dialog font, for every dialog laid out in them: x by a quarter of
// the average character width, y by an eighth of the character height, so layouts keep their
// proportions on any screen.
#include <QFont>
#include <QRect>

QFont DialogFont(); // "宋体" 9 pt, served by a CJK font here
QRect DialogUnitsToPixels(const QRect& units, const QFont& font = DialogFont());
