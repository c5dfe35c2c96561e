#pragma once

#include <functional>

namespace quelmo {

// What must be stopped before the process ends, however it ends: the audio engine, the key
// listeners, MIDI, capture, the recorder. Owners register a stop function while they live.
//
// A quit through the event loop runs them from aboutToQuit. A library that ends the process with
// exit() instead (Qt does, on the main thread, when its X server goes away) would otherwise destroy
// the process's statics under threads that still use them: the application routes exit() through
// processIsExiting(), which runs them first, on the main thread, with everything still alive. An
// exit() from any other thread ends the process at once instead: nothing can stop the main
// thread's objects safely from there, and destroying the statics under them is what must not
// happen.
//
// Main thread, except where a function says otherwise.
class OrderlyExit {
public:
    // Registers (or replaces) owner's stop function.
    static void add(const void* owner, std::function<void()> stop);
    static void remove(const void* owner);
    // Runs every registered stop function once, the newest first, and forgets them.
    static void runAll();

    // Arms the guard and runs runAll() on aboutToQuit of the application object, which must exist.
    static void guardProcess();
    // Main is returning normally: exit() is the ordinary end from here on.
    static void disarm();
    // Any thread: exit(status) has been called. Returns when the process may go on ending.
    static void processIsExiting(int status);
};

} // namespace quelmo
