#include "shell/DesktopIdentity.h"

namespace quelmo {

QString DesktopIdentity::version() { return QStringLiteral(QUELMO_VERSION); }

} // namespace quelmo
