#pragma once
// HID arrival and removal: a udev monitor on the hidraw subsystem, watched on the UI thread.
#include <QObject>

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

class DeviceEventSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void deviceArrived();
    void deviceRemoved();
};

class UdevDeviceMonitor final : public DeviceEventSource {
    Q_OBJECT
public:
    // nullptr when no monitor can be created. Without udevd (containers, CI) the monitor is created
    // but stays silent, which is not a failure.
    static std::unique_ptr<UdevDeviceMonitor> Create(QObject* parent = nullptr);
    ~UdevDeviceMonitor() override;

private:
    UdevDeviceMonitor(udev* context, udev_monitor* monitor, QObject* parent);
    void Drain();

    udev* udev_;
    udev_monitor* monitor_;
    QSocketNotifier* notifier_;
};
