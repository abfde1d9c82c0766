#pragma once
// SIGTERM, SIGINT and SIGHUP (a shutdown, Ctrl+C, a closed terminal) end the program the way its
// own "退出" does, so that a sensor still on the board is recorded and the board's outputs are
// switched off. The handler only writes the signal's number to a socket; the Qt event loop reads
// it and calls back on the UI thread.
#include <QObject>

#include <functional>

class QSocketNotifier;

class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    // One at a time; needs the application object. The handlers go back to the defaults when it
    // is destroyed.
    explicit TerminationSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    bool Installed() const { return notifier_ != nullptr; }

private:
    void Receive();
    std::function<void(int)> onSignal_;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};
