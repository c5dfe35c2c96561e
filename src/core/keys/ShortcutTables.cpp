#include "keys/ShortcutTables.h"

namespace quelmo::keys {

const QList<Shortcut>& allShortcuts() {
    static const QList<Shortcut> rows{
        {"1", "Pad 1 - Kick"},          {"2", "Pad 2 - Snare"},         {"3", "Pad 3 - Hat"},
        {"4", "Pad 4 - Clap"},          {"5", "Pad 5 - Bass"},          {"6", "Pad 6 - Riser"},
        {"7", "Pad 7 - Chop"},          {"8", "Pad 8 - Horn"},          {"q", "Pad 1 - Kick"},
        {"w", "Pad 2 - Snare"},         {"e", "Pad 3 - Hat"},           {"r", "Pad 4 - Clap"},
        {"t", "Pad 5 - Bass"},          {"y", "Pad 6 - Riser"},         {"u", "Pad 7 - Chop"},
        {"i", "Pad 8 - Horn"},          {" ", "Play/Pause"},            {"s", "Stop All"},
        {"a", "Add Audio File", command}, {"y", "Focus YouTube URL", command}, {"r", "Reset Effects", command},
        {"m", "Toggle Metronome"},      {"[", "Decrease BPM"},          {"]", "Increase BPM"},
        {"-", "Master Volume Down"},    {"=", "Master Volume Up"},      {"b", "Bold PA mix"},
        {"j", "Test tone"},             {"l", "Keyboard training"},
    };
    return rows;
}

const QList<TrainerRow>& shortcutTrainerRows() {
    static const QList<TrainerRow> rows{
        {QStringLiteral(u"—"), "Waveform tags",
         "Chips over the wave list import speed, rack FX, master tone, and pans for uploaded + YouTube tracks."},
        {QStringLiteral(u"1–8  Q–I"), "Pads", "Drum pads; only when a text field is not focused."},
        {"Space", "Transport", "Play / pause transport clock."},
        {"S", "Stop", "Stop imports, multi-track, sequencer, transport."},
        {"M", "Metronome blend", "Same as transport play/pause for beat."},
        {"[  ]", "BPM", "Down / up by 5 BPM."},
        {"-  =", "Master", "Lower / raise main output."},
        {"Ctrl+A", "Import", QStringLiteral(u"Open file picker — same FX rack as YouTube downloads.")},
        {"Ctrl+Y", "YouTube", "Focus the download URL field."},
        {"Ctrl+R", "Reset FX", "Reset creative rack + master tone."},
        {"B", "Bold PA", "Pump mix bus for music + imports."},
        {"J", "Test tone", "Short beep on the master bus."},
        {"L", "Training", "Open this keyboard lesson."},
        {QStringLiteral(u"↑  ↓"), "Fine nudge",
         QStringLiteral(u"After almost any key, within ~1.2s: ↑ / ↓ nudge master (or T / [ / ] = tempo, I = import, "
                        u"E = rack makeup).")},
        {QStringLiteral(u"Alt+↑ Alt+↓"), QStringLiteral(u"BPM ±1"), QStringLiteral(u"Hold Alt with arrows — no chord needed.")},
        {QStringLiteral(u"Shift+↑ Shift+↓"), QStringLiteral(u"Import ±"), "Shift + arrows nudges import bus level."},
    };
    return rows;
}

QString shortcutKeyLabel(const QString& key, Modifiers modifiers) {
    QString label;
    if (modifiers & command) label += "Ctrl+";
    if (modifiers & shift) label += "Shift+";
    if (modifiers & option) label += "Alt+";
    if (modifiers & control) label += "Super+";
    return label + (key == u" " ? QStringLiteral("Space") : key.toUpper());
}

} // namespace quelmo::keys
