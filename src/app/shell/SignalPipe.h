#pragma once

#include <QObject>

#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace quelmo {

// Turns POSIX signals into a Qt signal on the thread that made the pipe (the main thread): the
// handler only writes a byte into a socket pair, which is all a signal handler may safely do; the
// event loop reads it and emits received(). One pipe per set of signals; a signal belongs to one
// pipe at a time.
class SignalPipe : public QObject {
    Q_OBJECT
public:
    // What the signals do once the pipe is gone: their default action (a later SIGTERM ends the
    // process) or nothing (a late request from a test harness must not end it).
    enum class Afterwards { DefaultAction, Ignored };

    SignalPipe(std::initializer_list<int> signalNumbers, Afterwards afterwards, QObject* parent = nullptr);
    ~SignalPipe() override;

signals:
    void received();

private:
    std::vector<int> signalNumbers_;
    Afterwards afterwards_;
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quelmo
