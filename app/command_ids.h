#pragma once
// Command ids of the main window's menu and controls. They are part of the window's contract:
// tests and later dialogs find items by them.
enum CommandId : int {
    ID_ABOUT = 16,
    IDC_GRID = 1000,
    ID_FILE_LOAD = 32771,
    ID_FILE_LOAD_OLD = 32784,
    ID_FILE_SAVE = 57603,
    ID_APP_EXIT = 57665,
    ID_DEVICE_BASIC = 32792,
    ID_DEVICE_MACHINE1 = 32787,
    ID_DEVICE_MACHINE2 = 32788,
    ID_DEVICE_MACHINE3 = 32789,
    ID_DEVICE_MACHINE4 = 32790,
    ID_DEVICE_MACHINE5 = 32793,
    ID_FPC_TEST = 32795,
    ID_CLEAR_GREEN_MARKS = 32794,
    ID_BUZZER_ON = 32801,
    ID_BUZZER_INVERT = 32800,
    ID_VIDEO_WINDOW = 32796,
    ID_RECORDS_EXPORT = 32810,
    ID_RECORDS_RESET = 32811,
};

// Device type i (0 = basic, 1..5 = machines) to its menu command.
inline constexpr int DEVICE_TYPE_COMMANDS[6] = {ID_DEVICE_BASIC,    ID_DEVICE_MACHINE1, ID_DEVICE_MACHINE2,
                                                ID_DEVICE_MACHINE3, ID_DEVICE_MACHINE4, ID_DEVICE_MACHINE5};
