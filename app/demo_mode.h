#pragma once
// The demo: the same application on a simulated bus with live boards.
//   --simulate=KIND[,KIND...]
//   runoff[:MANUFACTURER]            one-to-one board, e.g. runoff:VASKARO_DEV2 (default merrowin-demo)
//   master[:CxR][@S.S...]            offline master, layout and station addresses (default 2x2@0.1.2.3)
//   kelspire                         smart master (stations 2 to 6)
//   classic                          classic channel tester
//   pendrake                         nine-way tester master
//   estop                            press the offline master's emergency stop once a minute
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

class DemoBench {
public:
    static std::unique_ptr<DemoBench> Create(const QString& spec, QString* error);
    static QString Usage();
    ~DemoBench();

    HidBackend& backend();
    std::unique_ptr<DeviceEventSource> eventSource();
    // Starts what happens over time once the window is up.
    void Start(CVorlaineDlg& dlg);

private:
    DemoBench();

    std::unique_ptr<SimBus> bus_;
    std::vector<std::shared_ptr<SimBoard>> boards_;
    std::shared_ptr<SimMasterBoard> master_;
    bool pressEmergencyStop_ = false;
    QTimer emergencyTimer_;
};
