#include "shared/BackgroundWorkers.h"

#include <QCoreApplication>

namespace quelmo::shared {

QThreadPool& BackgroundWorkers::pool() {
    static QThreadPool* const workers = [] {
        static QThreadPool threads;
        // The application object waits for the work as it goes, so no job outlives what it reports
        // to (each posts its answer to the application).
        qAddPostRoutine([] { threads.waitForDone(); });
        return &threads;
    }();
    return *workers;
}

} // namespace quelmo::shared
