#include "keys/KeyMonitor.h"

namespace quelmo::keys {

KeyboardHost& keyboardHost() {
    static KeyboardHost host;
    return host;
}

} // namespace quelmo::keys
