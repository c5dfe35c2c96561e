#pragma once

#include <functional>

namespace quelmo::test {

// Runs the Qt event loop until done() is true or timeoutMs passes. Returns done().
bool spinUntil(const std::function<bool()>& done, int timeoutMs = 2000);

// Runs the Qt event loop for ms milliseconds.
void spinFor(int ms);

} // namespace quelmo::test
