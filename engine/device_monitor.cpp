#include "device_monitor.h"

#include <QSocketNotifier>
#include <cstring>
#include <libudev.h>

std::unique_ptr<UdevDeviceMonitor> UdevDeviceMonitor::Create(QObject* parent)
{
    udev* context = udev_new();
    if (!context)
        return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor)
            udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<UdevDeviceMonitor>(new UdevDeviceMonitor(context, monitor, parent));
}

UdevDeviceMonitor::UdevDeviceMonitor(udev* context, udev_monitor* monitor, QObject* parent)
    : DeviceEventSource(parent), udev_(context), monitor_(monitor),
      notifier_(new QSocketNotifier(udev_monitor_get_fd(monitor), QSocketNotifier::Read, this))
{
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
}

UdevDeviceMonitor::~UdevDeviceMonitor()
{
    delete notifier_;
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
}

void UdevDeviceMonitor::Drain()
{
    // The fd is non-blocking: take every queued event.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        if (action && std::strcmp(action, "add") == 0)
            emit deviceArrived();
        else if (action && std::strcmp(action, "remove") == 0)
            emit deviceRemoved();
        udev_device_unref(device);
    }
}
