// exit() in this process goes through quelmo::OrderlyExit first.
//
// Qt ends the process with exit(1) from the main thread when its X server goes away (and a library
// may do the same from another thread). exit() destroys the process's statics, Qt's own among them,
// while the audio engine, the key listeners, MIDI and the recorder still run on their threads, and
// does not emit aboutToQuit: the process then crashed on its way out, the recording unfinished.
// Defined in the executable, this exit() takes the place of the C library's for every library in
// the process (the dynamic linker looks in the executable first); it stops all of that in order,
// with everything still alive, and then hands over to the C library's exit().

#include "util/OrderlyExit.h"

#include <dlfcn.h>

#include <cstdlib>

extern "C" [[noreturn]] void exit(int status) noexcept {
    quelmo::OrderlyExit::processIsExiting(status);
    using Exit = void (*)(int);
    static const auto next = reinterpret_cast<Exit>(dlsym(RTLD_NEXT, "exit"));
    if (next) {
        next(status);
    }
    std::_Exit(status);
}
