#pragma once

#include <QThreadPool>

namespace quelmo::shared {

// The pool for the application's own work off the main thread (file analyses, probes, installs).
// Never Qt's global pool: on the Qt this is built with, the raster paint engine splits every large
// fill across the global pool and waits for it, so a long job there stopped the window's painting
// until it finished. Threads as many as the machine's cores, made on demand; the application
// object waits for them as it is destroyed.
class BackgroundWorkers {
public:
    static QThreadPool& pool();
};

} // namespace quelmo::shared
