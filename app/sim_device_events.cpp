#include "sim_device_events.h"

#include "sim_bus.h"

#include <QPointer>

SimDeviceEvents::SimDeviceEvents(SimBus& bus, QObject* parent) : DeviceEventSource(parent), bus_(bus)
{
    QPointer<SimDeviceEvents> self(this);
    bus_.setListener([self](SimBusEvent event, const std::string&) {
        // Boards may come and go on any thread; the window hears of it on its own.
        QMetaObject::invokeMethod(
            self.data(),
            [self, event] {
                if (!self)
                    return;
                if (event == SimBusEvent::Arrival)
                    emit self->deviceArrived();
                else
                    emit self->deviceRemoved();
            },
            Qt::QueuedConnection);
    });
}

SimDeviceEvents::~SimDeviceEvents()
{
    bus_.setListener(nullptr);
}
