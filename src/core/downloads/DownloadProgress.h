#pragma once

#include <QString>

#include <optional>

namespace quelmo::downloads {

// What one line of yt-dlp's standard output does to the download's bar and status line.
struct DownloadProgress {
    double progress = 0.0; // 0..1
    QString status;
    friend bool operator==(const DownloadProgress&, const DownloadProgress&) = default;
};

// A line holding "%" with a whitespace-separated number 0..100 (stripped of "%", spaces and tabs)
// moves the bar to 0.2 + 0.7 x p / 100 and reads "⬇️ Downloading: <p truncated>%"; a line holding
// "%" without such a number changes nothing. A line without "%" that mentions "converting" or
// "destination" (any case) reads "🎵 Converting to MP3..." at 0.92. Anything else changes nothing.
std::optional<DownloadProgress> interpretProgressLine(const QString& line);

// The message of a failed run: the last non-blank line of standard error that mentions "error"
// (any case), else its last non-blank line, else "yt-dlp exited with code <status>".
QString failureMessage(const QString& errorText, int exitStatus);

// The list name of a downloaded file: its base name with every "<token>." removed; a result that
// starts with the token, or is empty, gives "YouTube Track".
QString downloadDisplayName(const QString& fileName, const QString& token);

// The address text when it is an http or https address on YouTube's site (youtube.com and its
// subdomains such as www, m and music) or its short-link domain youtu.be, trimmed of surrounding
// white space; absent otherwise. An accepted address never starts with "-".
std::optional<QString> acceptedYoutubeAddress(const QString& text);

} // namespace quelmo::downloads
