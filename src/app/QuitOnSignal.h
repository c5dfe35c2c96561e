#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace quelmo {

// Turns SIGTERM, SIGINT and SIGHUP (a session ending, kill, Ctrl+C in a terminal) into an orderly
// quit of the event loop, so that what Quelmo set up on the sound server and on disk is undone as
// on a window close. The handler only writes a byte to a pipe; the main thread does the rest.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quelmo
