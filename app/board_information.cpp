// The Help menu's About: each connected board's information dialog in turn, with the settings
// that OK writes back; and the program's own About box.
#include "cabout_dlg.h"
#include "cabout_dlg_harrowin.h"
#include "cabout_dlg_harrowin_hid.h"
#include "about_common.h"
#include "cvorlaine_dlg.h"
#include "maker_domain.h"
#include "master_routines.h"
#include "release_history.h"

#include <QCoreApplication>

#include <array>

namespace {
QString Text(const char* text)
{
    return QString::fromLatin1(text);
}

QString HexVersion(std::uint16_t version)
{
    return QString::asprintf("0x%x", version);
}

QString RunoffModel(std::uint8_t code)
{
    static const char* const names[] = {
        QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一基础版本V1"), QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一升级版本V2"),
        QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一之[一号机]"), QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一之[二号机]"),
        QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一之[三号机]"), QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一之[四号机]"),
        QT_TRANSLATE_NOOP("CVorlaineDlg", "一拖一之[五号机]")};
    return code < std::size(names) ? QCoreApplication::translate("CVorlaineDlg", names[code]) : QString();
}

QString ClassicLogoTag(const std::string& authorTag)
{
    if (authorTag == "teluran")
        return QStringLiteral("TELURAN");
    if (authorTag == "brackwell")
        return QString::fromLatin1(MAKER_DOMAIN).toUpper();
    if (authorTag == "vaskaro")
        return QStringLiteral("VASKARO");
    return QString();
}

// Shown as the author of the classic tester, whose firmware carries none.
const char* const CLASSIC_AUTHOR = "VORLAINE";
} // namespace

void CVorlaineDlg::ShowAboutBox()
{
    CAboutDlg dlg(this);
    dlg.exec();
}

void CVorlaineDlg::ShowBoardInformation()
{
    const QString history = QString::fromUtf8(releaseHistory.c_str());
    // A board unplugged while its dialog was open gets nothing, and the grid stays as the removal
    // left it, even when the absent flags have not caught up with the removal.
    const std::uint64_t connection = engine.ConnectionGeneration();
    const auto stillThere = [&](const std::atomic<int>& absent) {
        return absent == 0 && engine.ConnectionGeneration() == connection;
    };

    if (stillThere(engine.runoffAbsent)) {
        hiddata_simple_runoff& runoff = engine.runoff;
        CAboutDlg dlg(this);
        dlg.serialNumberText = Text(runoff.ReadSerialNumber());
        dlg.deviceIdText = Text(runoff.ReadDeviceId());
        knownDeviceIds_[BOARD_ONE_TO_ONE] = dlg.deviceIdText.toStdString();
        dlg.authorText = Text(runoff.ReadAuthorName());
        dlg.firmwareVersionText = HexVersion(runoff.ReadFirmwareVersion());
        const int year = runoff.ReadFirmwareYear();
        const int month = runoff.ReadFirmwareMonth();
        dlg.firmwareDateText = about::FirmwareDate(year, month, runoff.ReadFirmwareDay());
        dlg.offlineOptionOffered = (runoff.ReadOptionFlags() & 0x80) != 0;
        dlg.bootLogoText = Text(runoff.ReadLogoText());
        dlg.offlineDisplay = runoff.ReadOfflineDisplayMode() != 0;
        dlg.modelText = RunoffModel(runoff.ReadModelCode());
        dlg.logoTag = QString::fromStdString(engine.oemTag);
        if (dlg.logoTag.isEmpty())
            dlg.logoTag = Text(runoff.ReadAuthorTag());
        if (dlg.exec() == QDialog::Accepted && stillThere(engine.runoffAbsent))
            runoff.WriteOfflineDisplayMode(dlg.offlineDisplay ? 1 : 0);
    }

    if (stillThere(engine.kelspireAbsent)) {
        hiddata_kelspire& kelspire = engine.kelspire;
        CAboutDlgHarrowin dlg(this);
        dlg.logoTag = Text(kelspire.ReadAuthorTag());
        dlg.deviceIdText = Text(kelspire.ReadDeviceId());
        knownDeviceIds_[BOARD_SMART_MASTER] = dlg.deviceIdText.toStdString();
        dlg.firmwareVersionText = about::NibbleVersion(kelspire.ReadFirmwareVersion());
        const int year = kelspire.ReadFirmwareYear();
        const int month = kelspire.ReadFirmwareMonth();
        dlg.firmwareDateText = about::FirmwareDate(year, month, kelspire.ReadFirmwareDay());
        dlg.releaseHistoryText = history;
        const std::uint8_t* layout = kelspire.ReadMask(hiddata_kelspire::LAYOUT_STATION);
        dlg.layoutSwitch = layout[0];
        dlg.rows = layout[1];
        dlg.columns = layout[2];
        if (dlg.exec() == QDialog::Accepted && stillThere(engine.kelspireAbsent)) {
            std::array<std::uint8_t, 32> record{};
            record[0] = dlg.layoutSwitch;
            record[1] = dlg.rows;
            record[2] = dlg.columns;
            kelspire.WriteMask(hiddata_kelspire::LAYOUT_STATION, record.data(), static_cast<int>(record.size()));
        }
    }

    if (stillThere(engine.masterAbsent)) {
        hiddata_masterHID& master = engine.master;
        CAboutDlgHarrowinHID dlg(this);
        dlg.logoTag = Text(master.ReadAuthorTag());
        dlg.deviceIdText = Text(master.ReadDeviceId());
        knownDeviceIds_[BOARD_OFFLINE_MASTER] = dlg.deviceIdText.toStdString();
        dlg.firmwareVersionText = about::NibbleVersion(master.ReadFirmwareVersion());
        const int year = master.ReadFirmwareYear();
        const int month = master.ReadFirmwareMonth();
        dlg.firmwareDateText = about::FirmwareDate(year, month, master.ReadFirmwareDay());
        dlg.releaseHistoryText = history;
        dlg.buzzerOn = (master.ReadBuzzerMode() & 0x80) != 0;
        dlg.buzzerInverted = (master.ReadBuzzerMode() & 0x01) != 0;
        dlg.columns = grid.GetColumns();
        dlg.rows = grid.GetRows();
        {
            ScopedLock guard(master.lock);
            // The map holds 16 cells; cells beyond it have no station.
            for (int i = 0; i < dlg.rows * dlg.columns && i < CAboutDlgHarrowinHID::MAX_CELLS; ++i) {
                const std::uint8_t entry = i < CAboutDlgHarrowinHID::MAP_CELLS ? master.cellMap[2 * i + 1] : 0;
                dlg.stationNumbers[static_cast<std::size_t>(i)] = (entry & 0x80) != 0 ? entry & 0x7F : 255;
            }
        }
        dlg.clearEmergencyStop = [this] { engine.emergencyStop = false; };
        if (dlg.exec() == QDialog::Accepted && stillThere(engine.masterAbsent)) {
            grid.SetColumns(dlg.columns);
            grid.SetRows(dlg.rows);
            master.WriteColumns(static_cast<std::uint8_t>(dlg.columns));
            master.WriteRows(static_cast<std::uint8_t>(dlg.rows));
            std::array<std::uint8_t, 32> map{};
            for (int i = 0; i < dlg.rows * dlg.columns && i < CAboutDlgHarrowinHID::MAP_CELLS; ++i) {
                const int c = i % dlg.columns;
                const int r = i / dlg.columns;
                map[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>((c << 4) | r);
                map[static_cast<std::size_t>(2 * i + 1)] =
                    static_cast<std::uint8_t>(dlg.stationNumbers[static_cast<std::size_t>(i)] | 0x80);
            }
            master.WriteCellMap(map.data());
            master.WriteBuzzerMode(static_cast<std::uint8_t>((dlg.buzzerOn ? 0x80 : 0) | (dlg.buzzerInverted ? 1 : 0)));
            master.RefreshCellMap();
            ScopedLock init(engine.csMasterInit);
            InitMaster(master, grid);
        }
    }

    if (stillThere(engine.classicAbsent)) {
        const CClassicTester& classic = engine.classic;
        CAboutDlg dlg(this);
        dlg.serialNumberText = Text(classic.serialNumber.data());
        dlg.deviceIdText = Text(classic.deviceId.data());
        dlg.authorText = QString::fromLatin1(CLASSIC_AUTHOR);
        dlg.firmwareVersionText = HexVersion(classic.firmwareVersion);
        dlg.firmwareDateText = about::FirmwareDate(classic.firmwareYear, classic.firmwareMonth, classic.firmwareDay);
        dlg.offlineOptionOffered = (classic.firmwareFlags & 0x80) != 0;
        dlg.modelText = tr("经典版本");
        dlg.logoTag = ClassicLogoTag(classic.authorTag.data());
        dlg.exec(); // nothing of this board is set from here
    }
    NoteRecordingBoard(); // the ids just read name the board in the next test records
}
