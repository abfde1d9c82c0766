#include "main_menu.h"

#include "command_ids.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <vector>

namespace {
using K = MenuEntry::Kind;
MenuEntry item(const char* text, int id) { return {K::Item, QString::fromUtf8(text), id}; }
MenuEntry popup(const char* text) { return {K::Popup, QString::fromUtf8(text), 0}; }
MenuEntry sep() { return {K::Separator, {}, 0}; }
MenuEntry end() { return {K::End, {}, 0}; }
// The table keeps the Chinese texts; the menu shows them in the chosen language.
QString Translated(const QString& text) { return QCoreApplication::translate("MainMenu", text.toUtf8().constData()); }
} // namespace

const std::vector<MenuEntry>& MainMenuTable()
{
    static const std::vector<MenuEntry> table = {
        popup(QT_TRANSLATE_NOOP("MainMenu", "文件(&F)")),
        item(QT_TRANSLATE_NOOP("MainMenu", "载入(&L)"), ID_FILE_LOAD),
        item(QT_TRANSLATE_NOOP("MainMenu", "保存(&S)"), ID_FILE_SAVE),
        sep(),
        item(QT_TRANSLATE_NOOP("MainMenu", "老版本配置载入"), ID_FILE_LOAD_OLD),
        sep(),
        item(QT_TRANSLATE_NOOP("MainMenu", "退出(&E)"), ID_APP_EXIT),
        end(),
        popup(QT_TRANSLATE_NOOP("MainMenu", "操作(&O)")),
        popup(QT_TRANSLATE_NOOP("MainMenu", "设备类型")),
        item(QT_TRANSLATE_NOOP("MainMenu", "普通版"), ID_DEVICE_BASIC),
        sep(),
        item(QT_TRANSLATE_NOOP("MainMenu", "一号机"), ID_DEVICE_MACHINE1),
        item(QT_TRANSLATE_NOOP("MainMenu", "二号机"), ID_DEVICE_MACHINE2),
        item(QT_TRANSLATE_NOOP("MainMenu", "三号机"), ID_DEVICE_MACHINE3),
        item(QT_TRANSLATE_NOOP("MainMenu", "四号机"), ID_DEVICE_MACHINE4),
        item(QT_TRANSLATE_NOOP("MainMenu", "五号机"), ID_DEVICE_MACHINE5),
        end(),
        sep(),
        item(QT_TRANSLATE_NOOP("MainMenu", "使能FPC测试"), ID_FPC_TEST),
        item(QT_TRANSLATE_NOOP("MainMenu", "清除绿色标记"), ID_CLEAR_GREEN_MARKS),
        popup(QT_TRANSLATE_NOOP("MainMenu", "蜂鸣器")),
        item(QT_TRANSLATE_NOOP("MainMenu", "使能"), ID_BUZZER_ON),
        item(QT_TRANSLATE_NOOP("MainMenu", "反转"), ID_BUZZER_INVERT),
        end(),
        sep(),
        item(QT_TRANSLATE_NOOP("MainMenu", "创建视频窗口"), ID_VIDEO_WINDOW),
        end(),
        popup(QT_TRANSLATE_NOOP("MainMenu", "帮助(&A)")),
        item(QT_TRANSLATE_NOOP("MainMenu", "关于(&A)"), ID_ABOUT),
        end(),
    };
    return table;
}

const std::vector<MenuEntry>& RecordsMenuEntries()
{
    static const std::vector<MenuEntry> entries = {
        item(QT_TRANSLATE_NOOP("MainMenu", "导出测试记录…"), ID_RECORDS_EXPORT),
        item(QT_TRANSLATE_NOOP("MainMenu", "计数清零"), ID_RECORDS_RESET),
        sep(),
    };
    return entries;
}

void BuildMainMenu(QMenuBar* bar)
{
    std::vector<QMenu*> open;
    for (const MenuEntry& e : MainMenuTable()) {
        switch (e.kind) {
        case K::Popup: {
            const QString text = Translated(e.text);
            QMenu* menu = open.empty() ? bar->addMenu(text) : open.back()->addMenu(text);
            open.push_back(menu);
            break;
        }
        case K::End:
            open.pop_back();
            break;
        case K::Separator:
            open.back()->addSeparator();
            break;
        case K::Item: {
            QAction* action = open.back()->addAction(Translated(e.text));
            action->setProperty("commandId", e.id);
            break;
        }
        }
    }
    // The test records' items go into the File menu, above "退出(&E)".
    for (QAction* exit : bar->findChildren<QAction*>()) {
        if (exit->property("commandId").toInt() != ID_APP_EXIT)
            continue;
        auto* file = qobject_cast<QMenu*>(exit->parent());
        if (!file)
            break;
        for (const MenuEntry& e : RecordsMenuEntries()) {
            if (e.kind == K::Separator) {
                file->insertSeparator(exit);
            } else {
                auto* action = new QAction(Translated(e.text), file);
                action->setProperty("commandId", e.id);
                file->insertAction(exit, action);
            }
        }
        break;
    }
}
