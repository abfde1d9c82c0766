#pragma once
// The list of video inputs the camera window offers, and its changes as cameras are plugged in
// and out. The system's list comes from the video stack; tests offer a list of their own.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

struct VideoInput {
    QByteArray id; // the video stack's id of the camera
    QString description;
};

class VideoInputs : public QObject {
    Q_OBJECT

public:
    virtual QList<VideoInput> List() const = 0;

signals:
    void changed();
};

// The cameras the video stack sees now, following plug and unplug.
std::unique_ptr<VideoInputs> SystemVideoInputs();
