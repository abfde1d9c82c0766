#include "main_menu.h"

#include "command_ids.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <vector>

namespace {
using K = MenuEntry::Kind;
MenuEntry item(const char* text, int id) { return {K::Item, QString::fromUtf8(text), id}; }
MenuEntry popup(const char* text) { return {K::Popup, QString::fromUtf8(text), 0}; }
MenuEntry sep() { return {K::Separator, {}, 0}; }
MenuEntry end() { return {K::End, {}, 0}; }
} // namespace

const std::vector<MenuEntry>& MainMenuTable()
{
    static const std::vector<MenuEntry> table = {
        popup("文件(&F)"),
        item("载入(&L)", ID_FILE_LOAD),
        item("保存(&S)", ID_FILE_SAVE),
        sep(),
        item("老版本配置载入", ID_FILE_LOAD_OLD),
        sep(),
        item("退出(&E)", ID_APP_EXIT),
        end(),
        popup("操作(&O)"),
        popup("设备类型"),
        item("普通版", ID_DEVICE_BASIC),
        sep(),
        item("一号机", ID_DEVICE_MACHINE1),
        item("二号机", ID_DEVICE_MACHINE2),
        item("三号机", ID_DEVICE_MACHINE3),
        item("四号机", ID_DEVICE_MACHINE4),
        item("五号机", ID_DEVICE_MACHINE5),
        end(),
        sep(),
        item("使能FPC测试", ID_FPC_TEST),
        item("清除绿色标记", ID_CLEAR_GREEN_MARKS),
        popup("蜂鸣器"),
        item("使能", ID_BUZZER_ON),
        item("反转", ID_BUZZER_INVERT),
        end(),
        sep(),
        item("创建视频窗口", ID_VIDEO_WINDOW),
        end(),
        popup("帮助(&A)"),
        item("关于(&A)", ID_ABOUT),
        end(),
    };
    return table;
}

const std::vector<MenuEntry>& RecordsMenuEntries()
{
    static const std::vector<MenuEntry> entries = {
        item("导出测试记录…", ID_RECORDS_EXPORT),
        item("计数清零", ID_RECORDS_RESET),
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
            QMenu* menu = open.empty() ? bar->addMenu(e.text) : open.back()->addMenu(e.text);
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
            QAction* action = open.back()->addAction(e.text);
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
                auto* action = new QAction(e.text, file);
                action->setProperty("commandId", e.id);
                file->insertAction(exit, action);
            }
        }
        break;
    }
}
