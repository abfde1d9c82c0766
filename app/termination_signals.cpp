#include "termination_signals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {
constexpr int SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t writeEnd = -1;

void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Non-blocking: with the socket full, a signal already waits there to be read.
    (void)!::write(writeEnd, &byte, 1);
    errno = saved;
}
} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        std::perror("vorlaine: termination signals are not handled");
        return;
    }
    writeEnd = fds_[1];
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Receive);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : SIGNALS)
        sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    // The defaults first, so that no handler writes to a descriptor closed and reused.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : SIGNALS)
        sigaction(signal, &action, nullptr);
    writeEnd = -1;
    delete notifier_;
    for (const int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::Receive()
{
    unsigned char byte = 0;
    while (::read(fds_[0], &byte, 1) == 1)
        if (onSignal_)
            onSignal_(byte);
}
