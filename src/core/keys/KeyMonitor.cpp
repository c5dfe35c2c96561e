#include "keys/KeyMonitor.h"

namespace quelmo::keys {

KeyboardHost& keyboardHost() {
    static auto* host = new KeyboardHost; // never destroyed
    return *host;
}

} // namespace quelmo::keys
