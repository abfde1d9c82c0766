#pragma once
// The information dialog of a one-to-one board or the classic tester, and the About box of the
// program itself (all board fields empty). Its one setting is the offline display mode.
#include "cinfo_dialog.h"

#include <QString>

class QCheckBox;

class CAboutDlg final : public CInfoDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_AUTHOR = 1028,
        IDC_DEVICE_ID = 1025,
        IDC_SERIAL_NUMBER = 1024,
        IDC_FIRMWARE_VERSION = 1026,
        IDC_BOOT_LOGO = 1031,
        IDC_FIRMWARE_DATE = 1027,
        IDC_OFFLINE_DISPLAY = 1034,
        IDC_MODEL = 1035,
        IDC_PROGRAM_VERSION = 1039,
        IDC_LOGO = 1038,
        IDC_OK = 1,
    };

    explicit CAboutDlg(QWidget* parent = nullptr);

    QString authorText;
    QString deviceIdText;
    QString serialNumberText;
    QString firmwareVersionText;
    QString bootLogoText;
    QString firmwareDateText;
    bool offlineDisplay = false;
    QString modelText;
    QString programVersionText;
    QString logoTag;
    bool offlineOptionOffered = false;


public slots:
    void accept() override;

private:
    void InitControls() override;
    QCheckBox* offlineBox_ = nullptr;
};
