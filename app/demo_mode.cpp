#include "demo_mode.h"

#include "acquisition_engine.h"
#include "cvorlaine_dlg.h"
#include "device_monitor.h"
#include "maker_domain.h"
#include "demo_panel.h"
#include "sim_bus.h"
#include "sim_classic_board.h"
#include "sim_device_events.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_pendrake_board.h"
#include "sim_runoff_board.h"

#include <QRegularExpression>

#include <algorithm>
#include <chrono>

namespace {
constexpr int EMERGENCY_PERIOD_MS = 60000;
constexpr std::chrono::microseconds USB_TRANSFER_TIME{1000}; // one interrupt transfer at full speed
constexpr std::chrono::milliseconds CONTACT_BOUNCE{30};       // a sensor laid on or lifted by hand

std::shared_ptr<SimMasterBoard> MakeMaster(const QString& args, QString* error)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:(\\d+)x(\\d+))?(?:@([0-9.]+))?$"));
    const auto m = pattern.match(args);
    if (!m.hasMatch()) {
        *error = QStringLiteral("bad master layout \"%1\"").arg(args);
        return nullptr;
    }
    const int columns = m.captured(1).isEmpty() ? 2 : m.captured(1).toInt();
    const int rows = m.captured(2).isEmpty() ? 2 : m.captured(2).toInt();
    if (columns < 1 || rows < 1 || columns * rows > 16) {
        *error = QStringLiteral("the offline master serves 1 to 16 cells");
        return nullptr;
    }
    std::vector<std::uint8_t> stations;
    if (m.captured(3).isEmpty()) {
        for (int i = 0; i < columns * rows; ++i)
            stations.push_back(static_cast<std::uint8_t>(i));
    } else {
        for (const QString& s : m.captured(3).split('.', Qt::SkipEmptyParts)) {
            const int address = s.toInt();
            if (address < 0 || address > 127) {
                *error = QStringLiteral("station addresses run 0 to 127");
                return nullptr;
            }
            stations.push_back(static_cast<std::uint8_t>(address));
        }
    }
    auto board = std::make_shared<SimMasterBoard>(stations, 7);
    SimMasterBoard::Record record = board->record();
    record.columns = static_cast<std::uint8_t>(columns);
    record.rows = static_cast<std::uint8_t>(rows);
    board->setRecord(record);
    // Cells take the stations in order; cells beyond the list stay unserved.
    std::array<std::uint8_t, 32> map{};
    for (int i = 0; i < columns * rows; ++i) {
        map[2 * i] = static_cast<std::uint8_t>((i % columns) << 4 | (i / columns));
        if (static_cast<std::size_t>(i) < stations.size())
            map[2 * i + 1] = static_cast<std::uint8_t>(0x80 | stations[i]);
    }
    board->setCellMap(map);
    board->setScenario(true);
    return board;
}
} // namespace

// The demo runs for hours like a station: transfers take their USB time, waited out by sleeping
// rather than spinning, and no report log grows behind it.
DemoBench::DemoBench() : bus_(std::make_unique<SimBus>())
{
    bus_->setTransferDelay(USB_TRANSFER_TIME);
    bus_->setPreciseTiming(false);
    bus_->setLogging(false);
}

DemoBench::~DemoBench()
{
    delete panel_.data();
}

QString DemoBench::Usage()
{
    return QStringLiteral(
        "usage: vorlaine [--simulate=KIND[,KIND...]]\n"
        "  runoff[:MANUFACTURER]   one-to-one board (default merrowin-demo; e.g. VASKARO_DEV2)\n"
        "  master[:CxR][@S.S...]   offline master (default 2x2@0.1.2.3)\n"
        "  kelspire | classic | pendrake\n"
        "  estop                   press the offline master's emergency stop once a minute\n"
        "  bounce=MS               contacts bounce for MS ms when a sensor is laid on or lifted (default 30)");
}

std::unique_ptr<DemoBench> DemoBench::Create(const QString& spec, QString* error)
{
    std::unique_ptr<DemoBench> demo(new DemoBench);
    std::chrono::milliseconds bounce = CONTACT_BOUNCE;
    for (const QString& item : spec.split(',', Qt::SkipEmptyParts)) {
        if (item.startsWith(QStringLiteral("bounce="))) {
            bool ok = false;
            const int ms = item.mid(7).toInt(&ok);
            if (!ok || ms < 0 || ms > 1000) {
                *error = QStringLiteral("bounce takes 0 to 1000 ms");
                return nullptr;
            }
            bounce = std::chrono::milliseconds(ms);
            continue;
        }
        const QString kind = item.section(':', 0, 0).section('@', 0, 0);
        const QString args = item.mid(kind.size()).remove(0, item.mid(kind.size()).startsWith(':') ? 1 : 0);
        if (kind == "runoff") {
            auto board = std::make_shared<SimRunoffBoard>(3);
            board->sensor().setScenario(true);
            const std::string manufacturer = args.isEmpty() ? "merrowin-demo" : args.toStdString();
            const SimDeviceSpec identity = SimRunoffBoard::Identity(manufacturer);
            if (demo->deviceType_ == 0) {
                // The variant's device type, found on a bus of its own: the demo's board sees no probe.
                SimBus alone;
                alone.plug(identity, std::make_shared<SimRunoffBoard>(0));
                demo->deviceType_ = std::max(0, AcquisitionEngine::DeviceTypeFinding(alone));
            }
            demo->Add(QStringLiteral("runoff"), identity, board, {{QStringLiteral("runoff"), &board->sensor()}});
        } else if (kind == "master") {
            auto board = MakeMaster(args, error);
            if (!board)
                return nullptr;
            std::vector<std::pair<QString, SimSensor*>> sensors;
            for (int a = 0; a < SimMasterBoard::MAX_STATIONS; ++a)
                if (board->hasStation(static_cast<std::uint8_t>(a)))
                    sensors.emplace_back(QStringLiteral("master %1").arg(a), &board->sensor(static_cast<std::uint8_t>(a)));
            demo->master_ = board;
            demo->Add(QStringLiteral("master"), SimMasterBoard::Identity(MAKER_DOMAIN), board, std::move(sensors));
        } else if (kind == "kelspire" && args.isEmpty()) {
            auto board = std::make_shared<SimKelspireBoard>(5);
            board->setScenario(true);
            std::vector<std::pair<QString, SimSensor*>> sensors;
            for (int n = 2; n <= 6; ++n)
                sensors.emplace_back(QStringLiteral("kelspire %1").arg(n), &board->sensor(n));
            demo->Add(QStringLiteral("kelspire"), SimKelspireBoard::Identity(MAKER_DOMAIN), board, std::move(sensors));
        } else if (kind == "classic" && args.isEmpty()) {
            auto board = std::make_shared<SimClassicBoard>(9);
            board->setScenario(true);
            demo->Add(QStringLiteral("classic"), SimClassicBoard::Identity(MAKER_DOMAIN), board,
                      {{QStringLiteral("classic"), &board->sensor()}});
        } else if (kind == "pendrake" && args.isEmpty()) {
            auto board = std::make_shared<SimPendrakeBoard>(11);
            board->setScenario(true);
            std::vector<std::pair<QString, SimSensor*>> sensors;
            for (int n = 0; n < 9; ++n)
                sensors.emplace_back(QStringLiteral("pendrake %1").arg(n), &board->sensor(n));
            demo->Add(QStringLiteral("pendrake"), SimPendrakeBoard::Identity(MAKER_DOMAIN), board, std::move(sensors));
            demo->boards_.back().probedOnly = true;
        } else if (kind == "estop" && args.isEmpty()) {
            demo->pressEmergencyStop_ = true;
        } else {
            *error = QStringLiteral("unknown board \"%1\"").arg(item);
            return nullptr;
        }
    }
    if (demo->boards_.empty()) {
        *error = QStringLiteral("no board to simulate");
        return nullptr;
    }
    for (DemoBoard& board : demo->boards_)
        for (auto& sensor : board.sensors)
            sensor.second->setBounce(bounce);
    return demo;
}

void DemoBench::Add(const QString& name, const SimDeviceSpec& spec, std::shared_ptr<SimBoard> board,
                    std::vector<std::pair<QString, SimSensor*>> sensors)
{
    DemoBoard entry{name, spec, std::move(board), -1, std::move(sensors)};
    entry.id = bus_->plug(entry.spec, entry.board);
    boards_.push_back(std::move(entry));
}

HidBackend& DemoBench::backend()
{
    return *bus_;
}

std::unique_ptr<DeviceEventSource> DemoBench::eventSource()
{
    return std::make_unique<SimDeviceEvents>(*bus_);
}

void DemoBench::Start(CVorlaineDlg& dlg)
{
    panel_ = new CDemoPanel(*this, &dlg);
    panel_->show();
    if (!master_ || !pressEmergencyStop_)
        return;
    emergencyTimer_.setInterval(EMERGENCY_PERIOD_MS);
    QObject::connect(&emergencyTimer_, &QTimer::timeout, [board = master_] { board->triggerEmergencyStop(); });
    emergencyTimer_.start();
}
