#!/usr/bin/env bash
# A YouTube download as a user makes it, with a stand-in for yt-dlp that prints yt-dlp's progress
# lines and writes a real MP3 under the output template it is given: paste an address, click
# DOWNLOAD, watch the bar and the status, find the row selected and playable, the file in the
# downloads folder and listed in downloads.json; restart and the row is back.
# Usage: downloads_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound

fake_dir="$E2E_ROOT/fake-ytdlp"
mkdir -p "$fake_dir"
song="$fake_dir/song.mp3"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=660:duration=3" -ac 2 -ar 44100 -q:a 4 "$song" ||
    e2e_fail "ffmpeg could not make the test MP3"
cat >"$fake_dir/yt-dlp" <<SCRIPT
#!/bin/bash
printf '%s\n' "\$@" > '$fake_dir/args'
while [ \$# -gt 0 ]; do
  if [ "\$1" = "--output" ]; then template="\$2"; fi
  shift
done
out="\${template%.%(ext)s}.mp3"
echo "[youtube] abc: Downloading webpage"
for p in 5.0 20.4 42.7 61.0 87.5 100; do
  echo "[download]  \$p% of 3.50MiB at 1.20MiB/s ETA 00:02"
  sleep 0.4
done
echo "[ExtractAudio] Destination: \$out"
sleep 0.5
cp '$song' "\$out"
SCRIPT
chmod +x "$fake_dir/yt-dlp"

e2e_launch_deck "QUELMO_YTDLP_PROBE_PATHS=$fake_dir/yt-dlp"
folder="$E2E_ROOT/home/Documents/Quelmo Downloads"
e2e_wait_for 10 test -f "$folder/downloads.json" || e2e_fail "the deck did not write its downloads manifest"
e2e_check "the badge says yt-dlp is installed" e2e_is_shown "yt-dlp installed"

e2e_click_named "YouTube URL"
xdotool type --delay 5 "https://www.youtube.com/watch?v=abc"
e2e_click_named "DOWNLOAD"
e2e_wait_for 5 e2e_is_shown "Download progress" || e2e_fail "no progress bar while downloading"
e2e_wait_for 5 e2e_is_shown "⬇️ Downloading: 42%" || e2e_fail "the status did not follow the progress lines"
e2e_screenshot downloading
e2e_check "DOWNLOAD reads DOWNLOADING while it runs" e2e_is_shown "DOWNLOADING"
e2e_wait_for 15 e2e_is_shown "✅ Download complete!" || e2e_fail "the download did not complete"
e2e_wait_for 5 e2e_is_shown "Play YouTube Track" || e2e_fail "no row for the download"
e2e_screenshot downloaded

e2e_check "yt-dlp got the address after --" \
    bash -c "tail -n 2 '$fake_dir/args' | tr '\n' ' ' | grep -qx -- '-- https://www.youtube.com/watch?v=abc '"
file=$(cd "$folder" && ls ytdl_*.mp3 2>/dev/null | head -n 1)
e2e_check "the MP3 is in the downloads folder" test -n "$file"
e2e_check "downloads.json lists it" grep -q "\"filename\": \"$file\"" "$folder/downloads.json"

e2e_record_start download
e2e_click_named "Play YouTube Track"
e2e_wait_for 5 e2e_is_shown "Pause YouTube Track" || e2e_fail "the downloaded track does not play"
sleep 1.5
e2e_record_stop
read -r rms tone _ < <(/usr/bin/python3 "$E2E_HERE/tone_levels.py" "$E2E_ROOT/download.wav" 660 1320)
e2e_note "downloaded track: rms $rms, 660 Hz at $tone"
e2e_check "the downloaded track is heard" awk "BEGIN { exit !($tone > 0.02) }"

e2e_quit_by_closing

# A restart restores the row from the manifest, named after its file.
e2e_relaunch_deck "QUELMO_YTDLP_PROBE_PATHS=$fake_dir/yt-dlp"
e2e_wait_for 10 e2e_is_shown "Play ${file%.mp3}" || e2e_fail "the download was not restored after a restart"
e2e_screenshot restored
e2e_quit_by_closing
e2e_note "all download checks passed"
