#include <platform/EndRequests.h>

#include <csignal>
#include <initializer_list>

#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

int gSignalPipe[2] = {-1, -1};

void Notify(int) {
    // Only async-signal-safe work here: a byte for the watching event loop.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

int CatchEndRequests() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0)
        return -1;
    struct sigaction action {};
    action.sa_handler = Notify;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return gSignalPipe[0];
}

void ClearEndRequests() {
    char bytes[16];
    while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace platform
