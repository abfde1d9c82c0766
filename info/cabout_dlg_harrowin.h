#pragma once
// The smart master's information dialog: identity, firmware, release history, and the board's
// row/column layout record, which OK hands back to be written to the board.
#include "cinfo_dialog.h"

#include <QString>

#include <cstdint>

class QCheckBox;

class CAboutDlgHarrowin final : public CInfoDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_FIRMWARE_VERSION = 1026,
        IDC_FIRMWARE_DATE = 1027,
        IDC_PROGRAM_VERSION = 1039,
        IDC_DEVICE_ID = 1025,
        IDC_RELEASE_HISTORY = 1042,
        IDC_LAYOUT_SWITCH = 1065,
        IDC_COLUMNS = 1020,
        IDC_ROWS = 1019,
        IDC_LOGO = 1038,
        IDC_OK = 1,
    };

    explicit CAboutDlgHarrowin(QWidget* parent = nullptr);

    QString firmwareVersionText;
    QString firmwareDateText;
    QString programVersionText;
    QString deviceIdText;
    QString releaseHistoryText;
    QString logoTag;
    std::uint8_t layoutSwitch = 0;
    std::uint8_t columns = 0;
    std::uint8_t rows = 0;

    void OnResetSwitchClicked();

public slots:
    void accept() override;

private:
    void InitControls() override;
    QCheckBox* switchBox_ = nullptr;
};
