#pragma once

#include <QString>

namespace quelmo {

// What a child process left behind: whether it started, its exit status and its standard output
// and standard error merged in the order they were written.
struct ShellResult {
    bool launched = false;
    int exitCode = -1;
    QString output;
    // Why it did not start or did not exit normally; empty otherwise.
    QString error;

    bool succeeded() const { return launched && error.isEmpty() && exitCode == 0; }
    // The output, or the error when there is no output.
    QString description() const;
};

} // namespace quelmo
