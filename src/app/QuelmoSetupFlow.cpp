#include "QuelmoSetupFlow.h"

#include "ui/Clipboard.h"

namespace {
quelmo::SetupFlow::Dependencies desktopDependencies() {
    auto deps = quelmo::SetupFlow::defaultDependencies();
    deps.copyText = &quelmo::Clipboard::setText;
    return deps;
}
} // namespace

QuelmoSetupFlow::QuelmoSetupFlow(QObject* parent) : quelmo::SetupFlow(desktopDependencies(), parent) {}
