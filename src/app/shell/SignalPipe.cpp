#include "shell/SignalPipe.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quelmo {
namespace {

// The write end of the pipe each signal goes to, read by the handler.
std::atomic<int> writeEnd[NSIG];

void onSignal(int signalNumber) {
    const int fd = writeEnd[signalNumber].load(std::memory_order_relaxed);
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
}

} // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signalNumbers, Afterwards afterwards, QObject* parent)
    : QObject(parent)
    , signalNumbers_(signalNumbers)
    , afterwards_(afterwards) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char drained[64];
        while (::read(fds_[0], drained, sizeof drained) > 0) {
        }
        emit received();
    });
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : signalNumbers_) {
        writeEnd[signalNumber].store(fds_[1]);
        ::sigaction(signalNumber, &action, nullptr);
    }
}

SignalPipe::~SignalPipe() {
    for (int signalNumber : signalNumbers_) {
        std::signal(signalNumber, afterwards_ == Afterwards::DefaultAction ? SIG_DFL : SIG_IGN);
        writeEnd[signalNumber].store(-1);
    }
    notifier_.reset();
    for (int& fd : fds_) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

} // namespace quelmo
