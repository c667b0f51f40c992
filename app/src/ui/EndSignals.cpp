#include "EndSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace brevon {

#if defined(_WIN32)

void OnEndSignal(std::function<void()>) {}

#else

namespace {

int gSignalPipe[2] = {-1, -1};

void Notify(int) {
    // Only async-signal-safe work here: a byte for the UI thread's notifier.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

void OnEndSignal(std::function<void()> end) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [end = std::move(end)] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        end();
    });
    struct sigaction action {};
    action.sa_handler = Notify;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

#endif

} // namespace brevon
