#include "shared/BackgroundWorkers.h"

namespace quelmo::shared {

QThreadPool& BackgroundWorkers::pool() {
    static QThreadPool workers;
    return workers;
}

} // namespace quelmo::shared
