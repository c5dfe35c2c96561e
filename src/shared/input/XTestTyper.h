#pragma once

#include <QString>

#include <chrono>

namespace quelmo::shared {

// Types text into whatever window has the keyboard focus, through the XTest extension: a key down
// and a key up per character, then a pause. A character the keyboard map lacks is typed through a
// spare key code that is mapped to it for the duration of the call and given back afterwards.
class XTestTyper {
public:
    static constexpr std::chrono::milliseconds pauseBetweenCharacters{10};

    // False (and nothing typed) without an X display that offers XTest.
    static bool type(const QString& text);
};

} // namespace quelmo::shared
