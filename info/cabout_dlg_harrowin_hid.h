#pragma once
// The offline master's information dialog: identity, firmware, release history, the buzzer mode,
// the cell-to-station map as an editable list, the reset of rows and columns, and the clearing of
// a latched emergency stop. OK hands the settings back to be written to the board.
#include "cinfo_dialog.h"

#include <QString>

#include <array>
#include <functional>

class CEditListCtrl;
class QCheckBox;

class CAboutDlgHarrowinHID final : public CInfoDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_STATION_LIST = 1054,
        IDC_PROGRAM_VERSION = 1039,
        IDC_RELEASE_HISTORY = 1042,
        IDC_FIRMWARE_VERSION = 1026,
        IDC_FIRMWARE_DATE = 1027,
        IDC_DEVICE_ID = 1025,
        IDC_BUZZER_ON = 1052,
        IDC_BUZZER_INVERTED = 1053,
        IDC_CLEAR_EMERGENCY_STOP = 1057,
        IDC_RESET_ROWS_COLUMNS = 1061,
        IDC_LOGO = 1038,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };
    // The board's map holds this many cells.
    static constexpr int MAP_CELLS = 16;
    static constexpr int MAX_CELLS = 100;
    // Station numbers the map can hold, and the number of a cell that no station serves.
    static constexpr int MAX_STATION = 127;
    static constexpr int NO_STATION = 255;

    explicit CAboutDlgHarrowinHID(QWidget* parent = nullptr);

    CEditListCtrl* stationList = nullptr;
    QString programVersionText;
    QString releaseHistoryText;
    QString firmwareVersionText;
    QString firmwareDateText;
    QString deviceIdText;
    bool buzzerOn = false;
    bool buzzerInverted = false;
    QString logoTag;
    int rows = 0;
    int columns = 0;
    std::array<int, MAX_CELLS> stationNumbers{}; // row-major
    // Clears the worker's emergency-stop latch; set by the owner.
    std::function<void()> clearEmergencyStop;

    void OnClearEmergencyStop();
    void OnResetRowsColumns();

public slots:
    void accept() override;

private:
    void InitControls() override;
    void BuildStationList(bool defaultNumbers);
    bool Refuse(const QString& text);

    QCheckBox* buzzerOnBox_ = nullptr;
    QCheckBox* buzzerInvertedBox_ = nullptr;
};
