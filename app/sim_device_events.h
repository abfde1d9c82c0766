#pragma once
// Arrivals and removals on the simulated bus, delivered on the UI thread like the udev monitor's.
#include "device_monitor.h"

class SimBus;

class SimDeviceEvents final : public DeviceEventSource {
    Q_OBJECT
public:
    explicit SimDeviceEvents(SimBus& bus, QObject* parent = nullptr);
    ~SimDeviceEvents() override;

private:
    SimBus& bus_;
};
