#include "setup/ShellResult.h"

namespace quelmo {

QString ShellResult::description() const {
    const QString trimmed = output.trimmed();
    return trimmed.isEmpty() ? error : trimmed;
}

} // namespace quelmo
