// Every text fits its control, in Chinese and in English: labels, buttons, check boxes, radio
// buttons and group box titles (which also sit on their frame's top line), in each dialog.
#include "cabout_dlg.h"
#include "cabout_dlg_harrowin.h"
#include "cabout_dlg_harrowin_hid.h"
#include "cbaseline_dlg.h"
#include "cdialog_cap_view.h"
#include "creset_row_col_dlg.h"
#include "demo_mode.h"
#include "demo_panel.h"
#include "language.h"
#include "records_export_dialog.h"
#include "video_inputs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

int TextWidth(const QWidget* w, const QString& text)
{
    int widest = 0;
    for (const QString& line : QString(text).remove(QLatin1Char('&')).split(QLatin1Char('\n')))
        widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}

// One line per text that does not fit: its control's class, its text and by how much.
QStringList Misfits(QWidget* window)
{
    QStringList found;
    // The text is centred in `room` by its line height; its ink must stay inside, both ways.
    auto check = [&](QWidget* w, const QString& text, const QRect& room, const char* what = "") {
        const QFontMetrics& metrics = w->fontMetrics();
        const int needed = TextWidth(w, text);
        const int baseline = room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent();
        const QRect ink = metrics.tightBoundingRect(QString(text).remove(QLatin1Char('&'))).translated(0, baseline);
        if (needed > room.width())
            found << QStringLiteral("%1%2 \"%3\": %4 px wide in %5").arg(w->metaObject()->className(), what, text).arg(needed).arg(room.width());
        else if (!text.contains(QLatin1Char('\n')) && (ink.top() < 0 || ink.bottom() >= w->height()))
            found << QStringLiteral("%1%2 \"%3\": ink from y %4 to %5 in %6 px").arg(w->metaObject()->className(), what, text).arg(ink.top()).arg(ink.bottom()).arg(w->height());
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window))
            continue;
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            if (label->wordWrap()) {
                const QRect needed = label->fontMetrics().boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text());
                if (needed.height() > label->contentsRect().height())
                    found << QStringLiteral("QLabel \"%1\" wraps beyond its height").arg(label->text());
            } else {
                check(label, label->text(), label->contentsRect());
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const QStyle::SubElement room = qobject_cast<QPushButton*>(w)   ? QStyle::SE_PushButtonContents
                                            : qobject_cast<QCheckBox*>(w)   ? QStyle::SE_CheckBoxContents
                                            : qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
                                                                             : QStyle::SE_CustomBase;
            if (room == QStyle::SE_CustomBase)
                continue;
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            check(button, button->text(), button->style()->subElementRect(room, &option, button).intersected(button->rect()));
        } else if (auto* group = qobject_cast<QGroupBox*>(w); group && !group->title().isEmpty()) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QStyle* style = group->style();
            const QRect frame = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group);
            const QRect title = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
            check(group, group->title(), title, " title");
            check(group, group->title(), title.intersected(frame.adjusted(0, -title.height(), 0, 0)), " title in its frame");
            if (title.top() > frame.top() || title.bottom() < frame.top())
                found << QStringLiteral("QGroupBox \"%1\": the title is not on the frame's top line").arg(group->title());
        }
    }
    return found;
}

struct NoCamera final : VideoInputs {
    QList<VideoInput> List() const override { return {}; }
};

TEST(DialogFit, EveryTextFitsItsControlInBothLanguages)
{
    std::unique_ptr<DemoBench> demo;
    {
        QString error;
        demo = DemoBench::Create(QStringLiteral("master,runoff,pendrake,kelspire,classic"), &error);
        ASSERT_TRUE(demo) << error.toStdString();
    }
    const struct {
        const char* name;
        std::function<QWidget*(QWidget* host)> make;
    } windows[] = {
        {"about", [](QWidget*) { return new CAboutDlg; }},
        {"information harrowin", [](QWidget*) { return new CAboutDlgHarrowin; }},
        {"information harrowin hid", [](QWidget*) { return new CAboutDlgHarrowinHID; }},
        {"baseline", [](QWidget*) { return new CBaseLineDlg(true, 0.9); }},
        {"rows and columns", [](QWidget*) { return new CResetRowColDlg; }},
        {"export", [](QWidget*) { return new CRecordsRangeDlg; }},
        {"camera window", [](QWidget*) { return new CDialogCapView(nullptr, std::make_unique<NoCamera>()); }},
        {"demo panel", [&demo](QWidget* host) { return new CDemoPanel(*demo, host); }},
    };
    for (const Language language : {Language::Chinese, Language::English}) {
        ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), language));
        for (const auto& window : windows) {
            SCOPED_TRACE(std::string(window.name) + (language == Language::English ? " in English" : " in Chinese"));
            QWidget host;
            std::unique_ptr<QWidget> shown(window.make(&host));
            shown->show(); // lays out the dialogs that have a layout
            QApplication::processEvents();
            const QStringList misfits = Misfits(shown.get());
            EXPECT_TRUE(misfits.isEmpty()) << misfits.join(QLatin1Char('\n')).toStdString();
        }
    }
    RemoveLanguage(*QCoreApplication::instance());
}

} // namespace
