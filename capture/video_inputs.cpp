#include "video_inputs.h"

#include <QCameraDevice>
#include <QMediaDevices>

namespace {
class SystemInputs final : public VideoInputs {
public:
    SystemInputs() { connect(&devices_, &QMediaDevices::videoInputsChanged, this, &VideoInputs::changed); }

    QList<VideoInput> List() const override
    {
        QList<VideoInput> out;
        for (const QCameraDevice& input : QMediaDevices::videoInputs())
            out.append({input.id(), input.description()});
        return out;
    }

private:
    QMediaDevices devices_; // its signal is what tells of plug and unplug
};
} // namespace

std::unique_ptr<VideoInputs> SystemVideoInputs()
{
    return std::make_unique<SystemInputs>();
}
