#pragma once
// Menu 129 of the main window, built from one table of texts and command ids.
#include <QString>
#include <vector>

class QMenuBar;

struct MenuEntry {
    enum class Kind { Item, Separator, Popup, End };
    Kind kind = Kind::Item;
    QString text;
    int id = 0;
};

// Depth-first: a Popup opens a level that its matching End closes.
const std::vector<MenuEntry>& MainMenuTable();

// The items of the test records, which the File menu shows above its last item.
const std::vector<MenuEntry>& RecordsMenuEntries();

// Fills the bar; every item is a QAction with the property "commandId".
void BuildMainMenu(QMenuBar* bar);
