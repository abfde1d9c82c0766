#pragma once
// What the board information dialogs share: the frame (title, font, size, icon, name and program
// version), read-only fields with their labels, and the logo picture.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

namespace about {
constexpr int IDC_PROGRAM_VERSION = 1039;
constexpr int IDC_LOGO = 1038;
constexpr int IDC_FIRMWARE_VERSION = 1026;
constexpr int IDC_FIRMWARE_DATE = 1027;
constexpr int IDC_DEVICE_ID = 1025;
constexpr int IDC_RELEASE_HISTORY = 1042;

// Title "关于 Vorlaine", the dialog font, the size in dialog units, the application icon at (10, 10),
// the name at (40, 10) and the program version field.
void SetUpFrame(QDialog* dialog, int widthUnits, int heightUnits, const char* name, const QRect& versionUnits);
// A read-only edit at its place, with its label to the left when `label` is given.
QLineEdit* Field(QDialog* dialog, int id, const QRect& units, const char* label = nullptr,
                 const QRect& labelUnits = QRect());
QLabel* Label(QDialog* dialog, const char* text, const QRect& units);
void Group(QDialog* dialog, const char* title, const QRect& units);
// The logo picture control 1038 at (195, 10, 253, 280).
QLabel* LogoControl(QDialog* dialog);
// A multi-line, read-only release history with a vertical scroll bar.
void ReleaseHistoryField(QDialog* dialog, const QRect& units, const QString& text);
// "%x.%x.%x.%x" of the four nibbles, most significant first: 0x1234 gives "1.2.3.4".
QString NibbleVersion(std::uint16_t version);
// "%04d年%02d月%02d日".
QString FirmwareDate(int year, int month, int day);
} // namespace about
