// The shell's pure parts: keyboard code, menu table, release history, single instance.
#include "command_ids.h"
#include "keyboard_code.h"
#include "main_menu.h"
#include "release_history.h"
#include "single_instance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <string>

namespace {

using Key = KeyboardCode::Key;

// Types a line: letters are Other keys with their character; ' ' is Space, '\r' is Enter,
// '\b' is Backspace, '\x1b' is Escape.
KeyboardCode::Result type(KeyboardCode& k, const std::string& keys)
{
    KeyboardCode::Result last;
    for (char c : keys) {
        const Key key = c == ' ' ? Key::Space : c == '\r' ? Key::Enter : c == '\b' ? Key::Backspace
                        : c == '\x1b' ? Key::Escape : Key::Other;
        const auto r = k.OnKeyPress(key, c == '\x1b' ? 0 : c);
        last.unlocked |= r.unlocked;
        last.clearMarks |= r.clearMarks;
        last.consume |= r.consume;
    }
    return last;
}

struct CodeCase {
    const char* name;
    std::string keys; // the last key is the one whose result is checked
    bool unlocked;
};

TEST(KeyboardCode, CodeWordTable)
{
    const CodeCase cases[] = {
        {"plain", "kestle\r", true},
        {"capitals", "KESTLE\r", true},
        {"mixed_case_with_space", "KeStLe ", true},
        {"after_enter_works", "abc\rkestle\r", true},
        {"after_space_fails_once", "abc kestle\r", false},      // the Space's own character leads
        {"after_space_second_try", "abc kestle\rkestle\r", true},
        {"backspace_corrects", "kestlx\be\r", true},
        {"only_the_whole_text", "xkestle\r", false},
        {"prefix_is_not_enough", "kest\r", false},
    };
    for (const auto& c : cases) {
        KeyboardCode k;
        std::string before = c.keys.substr(0, c.keys.size() - 1);
        type(k, before);
        const auto r = type(k, c.keys.substr(c.keys.size() - 1));
        EXPECT_EQ(r.unlocked, c.unlocked) << c.name;
        EXPECT_TRUE(r.clearMarks) << c.name; // every Enter or Space clears the marks
    }
}

TEST(KeyboardCode, EscapeIsConsumedAndTheBufferStopsAt255)
{
    KeyboardCode k;
    EXPECT_TRUE(type(k, "\x1b").consume);
    EXPECT_FALSE(type(k, "a").consume);
    type(k, std::string(300, 'x'));
    EXPECT_EQ(k.typedText().size(), 255u);
    type(k, "\b\b");
    EXPECT_EQ(k.typedText().size(), 255u); // full: Backspace has no effect either
    type(k, "\r");
    EXPECT_EQ(k.typedText(), "\r"); // Enter's own character, dropped before the next key
    type(k, "kestle");
    EXPECT_TRUE(type(k, "\r").unlocked);
}

TEST(MainMenu, ItemsIdsAndSeparatorsInOrder)
{
    QStringList seen;
    for (const MenuEntry& e : MainMenuTable()) {
        switch (e.kind) {
        case MenuEntry::Kind::Popup: seen << "[" + e.text; break;
        case MenuEntry::Kind::End: seen << "]"; break;
        case MenuEntry::Kind::Separator: seen << "-"; break;
        case MenuEntry::Kind::Item: seen << e.text + "=" + QString::number(e.id); break;
        }
    }
    const QStringList expected = {
        "[文件(&F)", "载入(&L)=32771", "保存(&S)=57603", "-", "老版本配置载入=32784", "-", "退出(&E)=57665", "]",
        "[操作(&O)", "[设备类型", "普通版=32792", "-", "一号机=32787", "二号机=32788", "三号机=32789",
        "四号机=32790", "五号机=32793", "]", "-", "使能FPC测试=32795", "清除绿色标记=32794", "[蜂鸣器",
        "使能=32801", "反转=32800", "]", "-", "创建视频窗口=32796", "]", "[帮助(&A)", "关于(&A)=16", "]"};
    EXPECT_EQ(seen, expected);
}

TEST(ReleaseHistory, ThirtySixEntriesNewestFirst)
{
    BuildReleaseHistory();
    BuildReleaseHistory(); // built anew, not appended
    const std::string& h = releaseHistory;
    EXPECT_EQ(h.rfind("2013/11/20;Ver 1.3.1.37;\r\n", 0), 0u);
    std::size_t lines = 0, pos = 0, dashes = 0;
    while ((pos = h.find("\r\n", pos)) != std::string::npos) {
        ++lines;
        pos += 2;
    }
    for (pos = 0; (pos = h.find(std::string(42, '-') + "\r\n", pos)) != std::string::npos; pos += 44)
        ++dashes;
    EXPECT_EQ(lines, 36u * 3);
    EXPECT_EQ(dashes, 36u);
    EXPECT_EQ(ReleaseHistoryEntries(), 36);
}

// A second process waits for the lock, showing nothing, and gets it as soon as the holder dies.
TEST(SingleInstance, SecondStartWaitsUntilTheFirstEnds)
{
    const QString holder = QStringLiteral(INSTANCE_HOLDER);
    const QString name = QStringLiteral("{vorlaine-test-%1}").arg(QCoreApplication::applicationPid());
    QProcess first, second, other;
    first.start(holder, {name});
    ASSERT_TRUE(first.waitForReadyRead(5000));
    EXPECT_EQ(first.readLine().trimmed(), "held");

    second.start(holder, {name});
    other.start(holder, {name + "x"}); // a name that differs in one character does not count
    ASSERT_TRUE(other.waitForReadyRead(5000));
    EXPECT_FALSE(second.waitForReadyRead(300));

    first.kill(); // even a crashed holder releases it
    first.waitForFinished();
    ASSERT_TRUE(second.waitForReadyRead(5000));
    EXPECT_EQ(second.readLine().trimmed(), "held");
    for (QProcess* p : {&second, &other}) {
        p->closeWriteChannel();
        p->waitForFinished(5000);
    }
}

} // namespace
