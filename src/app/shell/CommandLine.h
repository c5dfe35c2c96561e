#pragma once

#include <QString>
#include <QStringList>

namespace quelmo {

// What the command line asks for, decided before anything needs a display or a sound server:
// `quelmo --version` and `quelmo --help` answer in a terminal of a headless machine.
struct CommandLine {
    enum class Action { Run, PrintAndSucceed, PrintAndFail };

    Action action = Action::Run;
    QString text; // printed on standard output (PrintAndSucceed) or standard error (PrintAndFail)

    // `arguments` is the whole argv, program name first. Qt's own window options (-platform,
    // -display, -name and the rest) are accepted and left for the application object to take.
    static CommandLine parse(const QStringList& arguments);

    static QString helpText(const QString& program);
};

} // namespace quelmo
