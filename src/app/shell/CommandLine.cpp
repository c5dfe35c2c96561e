#include "shell/CommandLine.h"

#include "shell/DesktopIdentity.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace quelmo {
namespace {

// Qt's own window-system options, taken by the application object after this parse. A value
// option is written "-name value" or "--name value"; Qt reads both.
struct QtOption {
    const char* name;
    const char* valueName;
    const char* description;
};
constexpr QtOption qtOptions[] = {
    {"platform", "name", "Qt's window-system plugin, as QT_QPA_PLATFORM (xcb, wayland, offscreen)."},
    {"display", "display", "The X display to open, as DISPLAY."},
    {"name", "name", "The window's resource name (WM_CLASS instance)."},
    {"qwindowgeometry", "geometry", "The window's geometry, as WIDTHxHEIGHT+X+Y."},
    {"qwindowtitle", "title", "The window's title."},
    {"qwindowicon", "icon", "The window's icon."},
    {"style", "style", "Ignored: Quelmo draws its own controls."},
    {"reverse", nullptr, "Lay the window out right to left."},
    {"sync", nullptr, "Run X11 in synchronous mode (for debugging)."},
};

QString environmentText() {
    return QStringLiteral(
        "\nEnvironment:\n"
        "  QT_QPA_PLATFORM          Qt's window system. Unset in a Wayland session with XWayland,\n"
        "                           Quelmo runs on XWayland so that keys typed in other\n"
        "                           applications can be heard.\n"
        "  QT_QUICK_BACKEND         Qt Quick's renderer. Unset on a machine without a GPU render\n"
        "                           node, Quelmo uses the software renderer.\n"
        "  PULSE_SERVER, PULSE_SINK The sound server and output device (PulseAudio or PipeWire).\n"
        "  PULSE_SOURCE             The microphone the lid tap listens to.\n"
        "  QUELMO_OUTPUT_LATENCY_MS The output's latency to start at, 5 to 1000 ms (10 unless set).\n"
        "                           A larger one rides out a machine that stalls (a busy virtual\n"
        "                           machine) without gaps; every sound is that much later.\n"
        "  QUELMO_PERFORM_CARD=off  No full-screen card when a shortcut fires.\n"
        "  QUELMO_YTDLP_PROBE_PATHS A colon-separated list of yt-dlp programs to try instead of\n"
        "                           PATH and the usual install places.\n"
        "  XDG_CONFIG_HOME          Where the settings live (Quelmo/Quelmo.conf).\n"
        "  XDG_RUNTIME_DIR          Where the running deck listens for a second launch.\n"
        "\nA second launch brings the running window forward and exits.\n");
}

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Quelmo, a keyboard-played music desk: drum pads, a step sequencer, your tracks and\n"
        "YouTube audio on loop, one effects rack, shortcuts heard from every application."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    for (const QtOption& option : qtOptions) {
        QCommandLineOption qtOption(QString::fromLatin1(option.name), QString::fromLatin1(option.description));
        if (option.valueName) {
            qtOption.setValueName(QString::fromLatin1(option.valueName));
        }
        parser.addOption(qtOption);
    }
}

} // namespace

QString CommandLine::helpText(const QString& program) {
    QCommandLineParser parser;
    addOptions(parser);
    // Qt names the program after the running application; here there is none yet.
    return parser.helpText().replace(QStringLiteral("<executable_name>"), program) + environmentText();
}

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine result;
    QCommandLineParser parser;
    addOptions(parser);
    const QString program = arguments.isEmpty() ? QStringLiteral("quelmo") : arguments.constFirst().section(u'/', -1);
    if (!parser.parse(arguments)) {
        result.action = Action::PrintAndFail;
        result.text = QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(program, parser.errorText());
        return result;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = Action::PrintAndSucceed;
        result.text = helpText(program);
    } else if (parser.isSet(QStringLiteral("version"))) {
        result.action = Action::PrintAndSucceed;
        result.text = QStringLiteral("%1 %2\n").arg(DesktopIdentity::displayName, DesktopIdentity::version());
    } else if (!parser.positionalArguments().isEmpty()) {
        result.action = Action::PrintAndFail;
        result.text = QStringLiteral("%1: unexpected argument '%2'\nTry '%1 --help' for the options.\n")
                          .arg(program, parser.positionalArguments().constFirst());
    }
    return result;
}

} // namespace quelmo
