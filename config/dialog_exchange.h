#pragma once
// The text rules of a dialog's data exchange: what an edit control must hold to be taken as an
// integer or a number. Refused text leaves the field as it was.
#include <QString>

#include <optional>

// Blanks, an optional sign and decimal digits, then blanks only; a value beyond 32 bits is refused.
std::optional<int> ParseDialogInteger(const QString& text);
// A C-locale floating-point number between blanks, finite and within the range of a float.
std::optional<float> ParseDialogNumber(const QString& text);
// A float as the edit control shows it: the shortest form with six significant digits ("10", "2.5").
QString FormatDialogNumber(float value);
// The C library's floating-point conversion of a whole text: leading blanks, then as much of a
// number as there is; no number gives 0.
double LeadingNumber(const QString& text);
// The C library's integer conversion of a whole text (no digits gives 0), kept to 32 bits.
int LeadingInteger(const QString& text);
