// The English interface: how it is chosen, that every text has its translation, what the windows
// show in each language, and that board and file texts never change with it.
#include "cabout_dlg.h"
#include "cbaseline_dlg.h"
#include "cdialog_cap_view.h"
#include "command_ids.h"
#include "creset_row_col_dlg.h"
#include "dialog_units.h"
#include "language.h"
#include "main_menu.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdlib>
#include <map>

namespace {

struct EnvCase {
    const char* option; // nullptr: no --lang
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
};

TEST(Language, OptionThenLocaleChooseIt)
{
    const EnvCase cases[] = {
        {nullptr, nullptr, nullptr, nullptr, Language::Chinese},
        {nullptr, nullptr, nullptr, "en_GB.UTF-8", Language::English},
        {nullptr, nullptr, nullptr, "zh_CN.UTF-8", Language::Chinese},
        {nullptr, nullptr, nullptr, "C.UTF-8", Language::Chinese},
        {nullptr, nullptr, "zh_CN.UTF-8", "en_US.UTF-8", Language::Chinese},
        {nullptr, "en_US.UTF-8", "zh_CN.UTF-8", nullptr, Language::English},
        {nullptr, nullptr, nullptr, "english", Language::Chinese},
        {"en", nullptr, nullptr, "zh_CN.UTF-8", Language::English},
        {"zh", nullptr, nullptr, "en_US.UTF-8", Language::Chinese},
    };
    const QByteArray saved[] = {qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
    for (const EnvCase& c : cases) {
        const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
        const char* values[] = {c.lcAll, c.lcMessages, c.lang};
        for (int i = 0; i < 3; ++i)
            values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
        const std::optional<QString> option = c.option ? std::optional<QString>(QString::fromLatin1(c.option)) : std::nullopt;
        EXPECT_EQ(ChooseLanguage(option), c.expected) << (c.option ? c.option : "-") << " " << (c.lang ? c.lang : "-");
    }
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (int i = 0; i < 3; ++i)
        saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
}

// (context, source) -> translation, "" when unfinished.
std::map<std::pair<QString, QString>, QString> ReadTs(const QString& path)
{
    std::map<std::pair<QString, QString>, QString> messages;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    QString context, source, translation;
    bool unfinished = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QStringLiteral("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QStringLiteral("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QStringLiteral("translation")) {
            unfinished = xml.attributes().value(QStringLiteral("type")) == QStringLiteral("unfinished");
            translation = xml.readElementText();
            messages[{context, source}] = unfinished ? QString() : translation;
        }
    }
    return messages;
}

// A text added to the sources without its English fails here, naming the text.
TEST(Language, EveryTextInTheSourcesHasItsEnglish)
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.ts"));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(VORLAINE_SOURCE_DIR));
    lupdate.start(QStringLiteral(LUPDATE_PATH),
                  {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("app"),
                   QStringLiteral("config"), QStringLiteral("info"), QStringLiteral("capture"), QStringLiteral("engine"),
                   QStringLiteral("records"), QStringLiteral("grid"), QStringLiteral("-ts"), fresh});
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();

    const auto kept = ReadTs(QStringLiteral(VORLAINE_SOURCE_DIR "/resources/translations/vorlaine_en.ts"));
    const auto found = ReadTs(fresh);
    ASSERT_GT(found.size(), 100u);
    for (const auto& [key, ignored] : found) {
        const auto it = kept.find(key);
        EXPECT_TRUE(it != kept.end() && !it->second.isEmpty())
            << key.first.toStdString() << ": \"" << key.second.toStdString()
            << "\" has no English; run scripts/update_translations.sh and translate it";
    }
}

// Qt's own standard buttons speak the interface's language: Qt's Chinese comes with the Chinese.
TEST(Language, QtStandardButtonsFollowTheLanguage)
{
    auto shown = [](QAbstractButton* button) { return button ? button->text().remove(QLatin1Char('&')) : QString(); };
    const struct {
        Language language;
        const char* ok;
        const char* cancel;
    } rows[] = {
        {Language::Chinese, "确定", "取消"},
        {Language::English, "OK", "Cancel"},
        {Language::Chinese, "确定", "取消"}, // and back again
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ok);
        ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), row.language));
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QMessageBox message(QMessageBox::Question, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
        for (QAbstractButton* ok : {static_cast<QAbstractButton*>(box.button(QDialogButtonBox::Ok)),
                                    static_cast<QAbstractButton*>(message.button(QMessageBox::Ok))})
            EXPECT_EQ(shown(ok).toStdString(), row.ok);
        for (QAbstractButton* cancel : {static_cast<QAbstractButton*>(box.button(QDialogButtonBox::Cancel)),
                                        static_cast<QAbstractButton*>(message.button(QMessageBox::Cancel))})
            EXPECT_EQ(shown(cancel).toStdString(), row.cancel);
    }
    RemoveLanguage(*QCoreApplication::instance());
}

struct English : WindowFixture {
    void SetUp() override { ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), Language::English)); }
    void TearDown() override
    {
        WindowFixture::TearDown();
        RemoveLanguage(*QCoreApplication::instance());
    }
    static QString text(QWidget* dialog, int id)
    {
        QWidget* w = FindControl(dialog, id);
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        return {};
    }
};

TEST_F(English, WindowsShowTheirTextsInEnglishAndChineseComesBack)
{
    open();
    CBaseLineDlg baseline(false, 0);
    CResetRowColDlg rowsColumns;
    CAboutDlg about;
    const struct {
        QString shown;
        const char* english;
    } rows[] = {
        {dlg->ActionOf(ID_FILE_LOAD)->text(), "&Load"},
        {dlg->ActionOf(ID_RECORDS_EXPORT)->text(), "Export Test Records…"},
        {dlg->windowTitle(), "Board disconnected"},
        {text(&baseline, CBaseLineDlg::IDC_SET), "Set"},
        {text(&baseline, CBaseLineDlg::IDC_SIMILARITY_ON), "Similarity"},
        {rowsColumns.findChildren<QLabel*>().value(0)->text(), "Per row"},
        {about.windowTitle(), "About Vorlaine"},
        {text(&about, CAboutDlg::IDC_OK), "OK"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.shown.toStdString(), row.english);

    dlg->close();
    dlg.reset();
    RemoveLanguage(*QCoreApplication::instance());
    open();
    EXPECT_EQ(dlg->ActionOf(ID_FILE_LOAD)->text(), QString::fromUtf8("载入(&L)"));
    EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("设备已经断开"));
    EXPECT_EQ(CAboutDlg().windowTitle(), QString::fromUtf8("关于 Vorlaine"));
}

TEST_F(English, MenuAcceleratorsStayUniqueInEachMenu)
{
    open();
    auto* bar = dlg->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    std::vector<QList<QAction*>> menus = {bar->actions()};
    for (QMenu* menu : bar->findChildren<QMenu*>())
        menus.push_back(menu->actions());
    for (const auto& actions : menus) {
        QSet<QChar> keys;
        for (QAction* a : actions) {
            const QString t = a->text();
            const qsizetype amp = t.indexOf(QLatin1Char('&'));
            if (amp < 0 || amp + 1 >= t.size())
                continue;
            const QChar key = t.at(amp + 1).toLower();
            EXPECT_FALSE(keys.contains(key)) << t.toStdString();
            keys.insert(key);
        }
    }
}

TEST_F(English, FileAndMenuSourceTextsDoNotChange)
{
    open();
    QTemporaryDir dir;
    const QString english = dir.filePath(QStringLiteral("en.ini")), chinese = dir.filePath(QStringLiteral("zh.ini"));
    ASSERT_TRUE(dlg->SaveConfigurationTo(english));
    EXPECT_EQ(MainMenuTable().front().text, QString::fromUtf8("文件(&F)")); // the table keeps its source
    RemoveLanguage(*QCoreApplication::instance());
    ASSERT_TRUE(dlg->SaveConfigurationTo(chinese));
    QFile a(english), b(chinese);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray bytes = a.readAll();
    EXPECT_EQ(bytes, b.readAll());
    EXPECT_TRUE(bytes.contains("[GLOBAL]"));
}

} // namespace
