#include "about_common.h"

#include "dialog_units.h"
#include "program_version.h"
#include "dialog_fit.h"

#include <QCoreApplication>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace about {

void SetUpFrame(QDialog* dialog, int widthUnits, int heightUnits, const char* name, const QRect& versionUnits)
{
    dialog->setWindowTitle(QCoreApplication::translate("about", "关于 Vorlaine"));
    dialog->setFont(DialogFont());
    dialog->setFixedSize(DialogUnitsToPixels(QRect(0, 0, widthUnits, heightUnits)).size());
    const QIcon icon = dialog->parentWidget() != nullptr ? dialog->parentWidget()->windowIcon() : QApplication::windowIcon();
    auto* picture = PlaceControl(new QLabel(dialog), 0, QRect(10, 10, 20, 20));
    picture->setPixmap(icon.pixmap(picture->size()));
    PlaceControl(new QLabel(QString::fromUtf8(name), dialog), 0, QRect(40, 10, 60, 8));
    auto* version = PlaceControl(new QLineEdit(ProgramVersionText(), dialog), IDC_PROGRAM_VERSION, versionUnits);
    version->setReadOnly(true);
}

QLineEdit* Field(QDialog* dialog, int id, const QRect& units, const char* label, const QRect& labelUnits)
{
    auto* edit = PlaceControl(new QLineEdit(dialog), id, units);
    edit->setReadOnly(true);
    if (label != nullptr)
        Label(dialog, label, labelUnits);
    return edit;
}

QLabel* Label(QDialog* dialog, const char* text, const QRect& units)
{
    return PlaceControl(new QLabel(QCoreApplication::translate("about", text), dialog), 0, units);
}

void Group(QDialog* dialog, const char* title, const QRect& units)
{
    TitleOnFrame(PlaceControl(new QGroupBox(QCoreApplication::translate("about", title), dialog), 0, units))->lower();
}

QLabel* LogoControl(QDialog* dialog)
{
    auto* logo = PlaceControl(new QLabel(dialog), IDC_LOGO, QRect(195, 10, 253, 280));
    logo->setAlignment(Qt::AlignCenter);
    return logo;
}

void ReleaseHistoryField(QDialog* dialog, const QRect& units, const QString& text)
{
    auto* history = PlaceControl(new QPlainTextEdit(text, dialog), IDC_RELEASE_HISTORY, units);
    history->setReadOnly(true);
    history->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

QString NibbleVersion(std::uint16_t version)
{
    return QString::asprintf("%x.%x.%x.%x", (version >> 12) & 0xF, (version >> 8) & 0xF, (version >> 4) & 0xF,
                             version & 0xF);
}

QString FirmwareDate(int year, int month, int day)
{
    return QCoreApplication::translate("about", "%1年%2月%3日")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

} // namespace about
