#include "host/termination_signals.h"

#include "util/error.h"

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the number goes through the pipe to the main thread.
void OnSignal(int signalNumber) {
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

}  // namespace

TTerminationSignals::TTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        throw MeltrixError(QStringLiteral("Cannot watch the termination signals"));
    FNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TTerminationSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TTerminationSignals::~TTerminationSignals() {
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    FNotifier.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
}

void TTerminationSignals::readSignal() {
    unsigned char number = 0;
    if (::read(signalPipe[0], &number, 1) == 1) emit terminationRequested(number);
}
