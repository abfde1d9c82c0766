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

namespace {
// What a board's information dialog shows, read on the board thread.
struct BoardInfo {
    QString serialNumber, deviceId, author, firmwareVersion, firmwareDate, bootLogo, model, logoTag;
    bool offlineOptionOffered = false, offlineDisplay = false;
    std::uint8_t layoutSwitch = 0, rows = 0, columns = 0;
    bool buzzerOn = false, buzzerInverted = false;
    std::array<int, CAboutDlgHarrowinHID::MAX_CELLS> stationNumbers{};
};

QString ReadingText()
{
    return QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在读取设备信息…"));
}

QString WritingText()
{
    return QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在写入设备设置…"));
}

enum InfoStep { RUNOFF_INFO, KELSPIRE_INFO, MASTER_INFO, CLASSIC_INFO, INFO_DONE };
} // namespace

void CVorlaineDlg::ShowBoardInformation()
{
    if (BoardsBusy())
        return;
    // The whole walk counts as board work: no other board command starts in between.
    ++boardWork_;
    infoConnection_ = engine.ConnectionGeneration();
    UpdateBoardCommands();
    BoardInformationStep(RUNOFF_INFO);
}

// One board of the walk: its reads on the board thread, its dialog here, its writes after OK on
// the board thread, then the next board. A board unplugged while its dialog was open gets
// nothing, and the grid stays as the removal left it, even when the absent flags have not caught
// up with the removal.
void CVorlaineDlg::BoardInformationStep(int board)
{
    const auto stillThere = [this](const std::atomic<int>& absent) {
        return absent == 0 && engine.ConnectionGeneration() == infoConnection_;
    };
    const auto next = [this, board] { BoardInformationStep(board + 1); };
    auto info = std::make_shared<BoardInfo>();

    switch (board) {
    case RUNOFF_INFO:
        if (!stillThere(engine.runoffAbsent))
            return next();
        RunOnBoards(
            BoardWork::Event,
            [this, info] {
                ReportActivity(ReadingText());
                hiddata_simple_runoff& runoff = engine.runoff;
                info->serialNumber = Text(runoff.ReadSerialNumber());
                info->deviceId = Text(runoff.ReadDeviceId());
                knownDeviceIds_[BOARD_ONE_TO_ONE] = info->deviceId.toStdString();
                info->author = Text(runoff.ReadAuthorName());
                info->firmwareVersion = HexVersion(runoff.ReadFirmwareVersion());
                const int year = runoff.ReadFirmwareYear();
                const int month = runoff.ReadFirmwareMonth();
                info->firmwareDate = about::FirmwareDate(year, month, runoff.ReadFirmwareDay());
                info->offlineOptionOffered = (runoff.ReadOptionFlags() & 0x80) != 0;
                info->bootLogo = Text(runoff.ReadLogoText());
                info->offlineDisplay = runoff.ReadOfflineDisplayMode() != 0;
                info->model = RunoffModel(runoff.ReadModelCode());
                info->logoTag = QString::fromStdString(engine.oemTag);
                if (info->logoTag.isEmpty())
                    info->logoTag = Text(runoff.ReadAuthorTag());
            },
            [this, info, stillThere, next] {
                CAboutDlg dlg(this);
                dlg.serialNumberText = info->serialNumber;
                dlg.deviceIdText = info->deviceId;
                dlg.authorText = info->author;
                dlg.firmwareVersionText = info->firmwareVersion;
                dlg.firmwareDateText = info->firmwareDate;
                dlg.offlineOptionOffered = info->offlineOptionOffered;
                dlg.bootLogoText = info->bootLogo;
                dlg.offlineDisplay = info->offlineDisplay;
                dlg.modelText = info->model;
                dlg.logoTag = info->logoTag;
                if (dlg.exec() == QDialog::Accepted && stillThere(engine.runoffAbsent)) {
                    const std::uint8_t mode = dlg.offlineDisplay ? 1 : 0;
                    RunOnBoards(
                        BoardWork::Event,
                        [this, mode] {
                            ReportActivity(WritingText());
                            engine.runoff.WriteOfflineDisplayMode(mode);
                        },
                        next);
                    return;
                }
                next();
            });
        return;

    case KELSPIRE_INFO:
        if (!stillThere(engine.kelspireAbsent))
            return next();
        RunOnBoards(
            BoardWork::Event,
            [this, info] {
                ReportActivity(ReadingText());
                hiddata_kelspire& kelspire = engine.kelspire;
                info->logoTag = Text(kelspire.ReadAuthorTag());
                info->deviceId = Text(kelspire.ReadDeviceId());
                knownDeviceIds_[BOARD_SMART_MASTER] = info->deviceId.toStdString();
                info->firmwareVersion = about::NibbleVersion(kelspire.ReadFirmwareVersion());
                const int year = kelspire.ReadFirmwareYear();
                const int month = kelspire.ReadFirmwareMonth();
                info->firmwareDate = about::FirmwareDate(year, month, kelspire.ReadFirmwareDay());
                const std::uint8_t* layout = kelspire.ReadMask(hiddata_kelspire::LAYOUT_STATION);
                info->layoutSwitch = layout[0];
                info->rows = layout[1];
                info->columns = layout[2];
            },
            [this, info, stillThere, next] {
                CAboutDlgHarrowin dlg(this);
                dlg.logoTag = info->logoTag;
                dlg.deviceIdText = info->deviceId;
                dlg.firmwareVersionText = info->firmwareVersion;
                dlg.firmwareDateText = info->firmwareDate;
                dlg.releaseHistoryText = QString::fromUtf8(releaseHistory.c_str());
                dlg.layoutSwitch = info->layoutSwitch;
                dlg.rows = info->rows;
                dlg.columns = info->columns;
                if (dlg.exec() == QDialog::Accepted && stillThere(engine.kelspireAbsent)) {
                    std::array<std::uint8_t, 32> record{};
                    record[0] = dlg.layoutSwitch;
                    record[1] = dlg.rows;
                    record[2] = dlg.columns;
                    RunOnBoards(
                        BoardWork::Event,
                        [this, record] {
                            ReportActivity(WritingText());
                            engine.kelspire.WriteMask(hiddata_kelspire::LAYOUT_STATION, record.data(),
                                                      static_cast<int>(record.size()));
                        },
                        next);
                    return;
                }
                next();
            });
        return;

    case MASTER_INFO:
        if (!stillThere(engine.masterAbsent))
            return next();
        RunOnBoards(
            BoardWork::Event,
            [this, info] {
                ReportActivity(ReadingText());
                hiddata_masterHID& master = engine.master;
                info->logoTag = Text(master.ReadAuthorTag());
                info->deviceId = Text(master.ReadDeviceId());
                knownDeviceIds_[BOARD_OFFLINE_MASTER] = info->deviceId.toStdString();
                info->firmwareVersion = about::NibbleVersion(master.ReadFirmwareVersion());
                const int year = master.ReadFirmwareYear();
                const int month = master.ReadFirmwareMonth();
                info->firmwareDate = about::FirmwareDate(year, month, master.ReadFirmwareDay());
                info->buzzerOn = (master.ReadBuzzerMode() & 0x80) != 0;
                info->buzzerInverted = (master.ReadBuzzerMode() & 0x01) != 0;
                const int columns = grid.GetColumns();
                const int rows = grid.GetRows();
                info->columns = static_cast<std::uint8_t>(columns);
                info->rows = static_cast<std::uint8_t>(rows);
                ScopedLock guard(master.lock);
                // The map holds 16 cells; cells beyond it have no station.
                for (int i = 0; i < rows * columns && i < CAboutDlgHarrowinHID::MAX_CELLS; ++i) {
                    const std::uint8_t entry = i < CAboutDlgHarrowinHID::MAP_CELLS ? master.cellMap[2 * i + 1] : 0;
                    info->stationNumbers[static_cast<std::size_t>(i)] = (entry & 0x80) != 0 ? entry & 0x7F : 255;
                }
            },
            [this, info, stillThere, next] {
                CAboutDlgHarrowinHID dlg(this);
                dlg.logoTag = info->logoTag;
                dlg.deviceIdText = info->deviceId;
                dlg.firmwareVersionText = info->firmwareVersion;
                dlg.firmwareDateText = info->firmwareDate;
                dlg.releaseHistoryText = QString::fromUtf8(releaseHistory.c_str());
                dlg.buzzerOn = info->buzzerOn;
                dlg.buzzerInverted = info->buzzerInverted;
                dlg.columns = info->columns;
                dlg.rows = info->rows;
                for (std::size_t i = 0; i < info->stationNumbers.size(); ++i)
                    dlg.stationNumbers[i] = info->stationNumbers[i];
                dlg.clearEmergencyStop = [this] { engine.emergencyStop = false; };
                if (dlg.exec() == QDialog::Accepted && stillThere(engine.masterAbsent)) {
                    const int columns = dlg.columns;
                    const int rows = dlg.rows;
                    std::array<std::uint8_t, 32> map{};
                    for (int i = 0; i < rows * columns && i < CAboutDlgHarrowinHID::MAP_CELLS; ++i) {
                        const int c = i % columns;
                        const int r = i / columns;
                        map[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>((c << 4) | r);
                        map[static_cast<std::size_t>(2 * i + 1)] =
                            static_cast<std::uint8_t>(dlg.stationNumbers[static_cast<std::size_t>(i)] | 0x80);
                    }
                    const auto buzzer =
                        static_cast<std::uint8_t>((dlg.buzzerOn ? 0x80 : 0) | (dlg.buzzerInverted ? 1 : 0));
                    RunOnBoards(
                        BoardWork::Event,
                        [this, columns, rows, map, buzzer] {
                            ReportActivity(WritingText());
                            hiddata_masterHID& master = engine.master;
                            grid.SetColumns(columns);
                            grid.SetRows(rows);
                            master.WriteColumns(static_cast<std::uint8_t>(columns));
                            master.WriteRows(static_cast<std::uint8_t>(rows));
                            master.WriteCellMap(map.data());
                            master.WriteBuzzerMode(buzzer);
                            master.RefreshCellMap();
                            ReportActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "正在初始化 Drovane 脱机版本…")));
                            ScopedLock init(engine.csMasterInit);
                            InitMaster(master, grid);
                        },
                        next);
                    return;
                }
                next();
            });
        return;

    case CLASSIC_INFO: {
        if (!stillThere(engine.classicAbsent))
            return next();
        // Read at its initialisation; nothing of this board is set from here.
        RunOnBoards(
            BoardWork::Event,
            [this, info] {
                const CClassicTester& classic = engine.classic;
                info->serialNumber = Text(classic.serialNumber.data());
                info->deviceId = Text(classic.deviceId.data());
                info->firmwareVersion = HexVersion(classic.firmwareVersion);
                info->firmwareDate =
                    about::FirmwareDate(classic.firmwareYear, classic.firmwareMonth, classic.firmwareDay);
                info->offlineOptionOffered = (classic.firmwareFlags & 0x80) != 0;
                info->logoTag = ClassicLogoTag(classic.authorTag.data());
            },
            [this, info, next] {
                CAboutDlg dlg(this);
                dlg.serialNumberText = info->serialNumber;
                dlg.deviceIdText = info->deviceId;
                dlg.authorText = QString::fromLatin1(CLASSIC_AUTHOR);
                dlg.firmwareVersionText = info->firmwareVersion;
                dlg.firmwareDateText = info->firmwareDate;
                dlg.offlineOptionOffered = info->offlineOptionOffered;
                dlg.modelText = tr("经典版本");
                dlg.logoTag = info->logoTag;
                dlg.exec();
                next();
            });
        return;
    }

    default:
        // The ids just read name the board in the next test records.
        RunOnBoards(BoardWork::Event, [this] { NoteRecordingBoard(); });
        --boardWork_;
        UpdateBoardCommands();
        return;
    }
}
