# The large downloads library the library and download benchmarks share. Source it with $work set
# to a scratch folder (and $count, the number of entries, 1000 unless set).
#
#   library_sources            encode three distinct MP3s of 2:00, 2:30 and 3:00 (192 kb/s, stereo
#                              44.1 kHz tone plus noise) into $work/sources, once
#   fill_library DOCUMENTS     "DOCUMENTS/Quelmo Downloads" with $count hard links of them named
#                              "track 0001.mp3"... and a downloads.json listing them all in order

count=${count:-1000}
library_files=()

library_sources() {
    local seconds file
    mkdir -p "$work/sources"
    library_files=()
    for seconds in 120 150 180; do
        file="$work/sources/$seconds.mp3"
        [[ -s "$file" ]] || ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=$((seconds * 3)):d=$seconds:r=44100" \
            -f lavfi -i "anoisesrc=d=$seconds:r=44100:a=0.05" -filter_complex "[0][1]amix=inputs=2,volume=2" \
            -ac 2 -c:a libmp3lame -b:a 192k "$file"
        library_files+=("$file")
    done
}

fill_library() {
    local folder="$1/Quelmo Downloads" i
    ((${#library_files[@]} == 3)) || library_sources
    mkdir -p "$folder"
    for ((i = 1; i <= count; i++)); do
        ln -f "${library_files[$((i % 3))]}" "$folder/$(printf 'track %04d.mp3' "$i")"
    done
    python3 - "$folder" "$count" <<'PY'
import json, sys, uuid
folder, count = sys.argv[1], int(sys.argv[2])
entries = [{"id": str(uuid.uuid4()).upper(), "name": f"track {i:04d}", "filename": f"track {i:04d}.mp3",
            "dateAdded": "2026-12-01T12:00:00Z"} for i in range(1, count + 1)]
with open(f"{folder}/downloads.json", "w") as f:
    json.dump(entries, f, indent=2)
PY
}
