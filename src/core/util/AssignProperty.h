#pragma once

namespace quelmo {

// Writes value into a property's field and emits its change signal, only when it differs.
// Returns whether it changed. The controllers' setters are written with it.
template <class Owner, class T, class Signal>
bool assignProperty(Owner* owner, T& field, const T& value, Signal signal) {
    if (field == value) {
        return false;
    }
    field = value;
    emit(owner->*signal)();
    return true;
}

} // namespace quelmo
