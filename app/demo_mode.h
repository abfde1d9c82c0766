#pragma once
// The demo: the same application on a simulated bus with live boards.
//   --simulate=KIND[,KIND...]
//   runoff[:MANUFACTURER]            one-to-one board, e.g. runoff:VASKARO_DEV2 (default merrowin-demo)
//   master[:CxR][@S.S...]            offline master, layout and station addresses (default 2x2@0.1.2.3)
//   kelspire                         smart master (stations 2 to 6)
//   classic                          classic channel tester
//   pendrake                         nine-way tester master
//   estop                            press the offline master's emergency stop once a minute
//   bounce=MS                        contact bounce when a sensor is laid on or lifted (default 30)
#include "demo_panel.h"
#include "sim_board.h"

#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class CVorlaineDlg;
class DeviceEventSource;
class HidBackend;
class SimBoard;
class SimBus;
class SimMasterBoard;
class SimSensor;


// One simulated board of the demo, as the simulator panel handles it.
struct DemoBoard {
    QString name;
    SimDeviceSpec spec;
    std::shared_ptr<SimBoard> board;
    int id = -1; // on the bus while plugged
    // Its sensor positions, with the name the panel shows.
    std::vector<std::pair<QString, SimSensor*>> sensors;
    // The window probes it but serves no such board on its own (the nine-way tester master).
    bool probedOnly = false;
};

class DemoBench {
public:
    static std::unique_ptr<DemoBench> Create(const QString& spec, QString* error);
    static QString Usage();
    ~DemoBench();

    HidBackend& backend();
    std::unique_ptr<DeviceEventSource> eventSource();
    // Starts what happens over time once the window is up, and shows the simulator panel.
    void Start(CVorlaineDlg& dlg);

    SimBus& bus() { return *bus_; }
    std::vector<DemoBoard>& boards() { return boards_; }
    SimMasterBoard* master() { return master_.get(); }
    CDemoPanel* panel() { return panel_.data(); }
    // The device type the simulated one-to-one board's variant needs, for the window's start.
    int deviceType() const { return deviceType_; }

private:
    DemoBench();

    std::unique_ptr<SimBus> bus_;
    void Add(const QString& name, const SimDeviceSpec& spec, std::shared_ptr<SimBoard> board,
             std::vector<std::pair<QString, SimSensor*>> sensors);

    std::vector<DemoBoard> boards_;
    QPointer<CDemoPanel> panel_; // a tool window of the main window, which may delete it first
    std::shared_ptr<SimMasterBoard> master_;
    bool pressEmergencyStop_ = false;
    int deviceType_ = 0;
    QTimer emergencyTimer_;
};
