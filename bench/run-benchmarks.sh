#!/usr/bin/env bash
# run-benchmarks.sh NATIVE WINDOWS SESSION [WIDE WIDE_SESSION]: the benchmarks of
# ./veltrane.sh bench, from the optimised native build NATIVE and Windows build
# WINDOWS (folders of the bench presets), the Windows ones on the Wine session
# SESSION (cmake/wine-session.sh start). Where WINDOWS is the 32-bit build, the
# 64-bit build WIDE, on its session WIDE_SESSION, writes the workbook of a
# million records, which the 32-bit one cannot.
set -euo pipefail
native=$1 windows=$2 session=$3 wide=${4:-} wide_session=${5:-}
wine_run() {  # session program arguments...
    sh "$(dirname "$0")/../cmake/wine-session.sh" run "$@"
}
say() { printf '\n== %s\n' "$*"; }

# timed ROUNDS OUTPUT COMMAND...: runs it ROUNDS times, each round's stdout
# replacing the last one's in OUTPUT, and keeps the best wall time in
# BEST_SECONDS and the peak memory of that round in BEST_KILOBYTES.
timed() {
    local rounds=$1 output=$2 round seconds kilobytes measure
    shift 2
    measure=$(mktemp)
    BEST_SECONDS=
    for ((round = 0; round < rounds; round++)); do
        /usr/bin/time -f "%e %M" -o "$measure" "$@" >"$output"
        read -r seconds kilobytes < "$measure"
        if [ -z "$BEST_SECONDS" ] || awk -v a="$seconds" -v b="$BEST_SECONDS" 'BEGIN { exit !(a < b) }'; then
            BEST_SECONDS=$seconds
            BEST_KILOBYTES=$kilobytes
        fi
    done
    rm -f "$measure"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# Sizes in MB (a million bytes), as GNU time's kilobytes (1024 bytes) are not.
print_peak() {  # label seconds kilobytes file-size
    printf '  %s: %s s, peak memory %s\n' "$1" "$2" \
        "$(awk -v k="$3" -v s="$4" 'BEGIN { printf "%.0f MB = %.2f x the %.0f MB master file", k * 1024 / 1e6, k * 1024 / s, s / 1e6 }')"
}

say "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"

say "Core (Google Benchmark)"
"$native/bin/core_benchmark"

say "Workbook export against libxlsxwriter alone"
"$native/bin/workbook_benchmark"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/made-up" "$scratch/repeated" "$scratch/one-player"
"$native/bin/make-master" --out "$scratch/made-up/mastplyr.dat" --records 1000000 --last-season 2024
"$native/bin/make-master" --out "$scratch/repeated/mastplyr.dat" --records 1000000 --last-season 2024 \
    --repeated-names
"$native/bin/make-master" --out "$scratch/one-player/mastplyr.dat" --records 1000000 --last-season 2024 \
    --one-player
cli=("$native/bin/veltrane-cli" --first 1871 --last 2024 --force)

# GNU sort gets the lines veltrane-cli prints, in the order veltrane-cli reads
# their records (listing_lines), not already sorted, and writes its output to
# a file as veltrane-cli does.
say "veltrane-cli on 1,000,000 records, all seasons, with --csv, against GNU sort (LC_ALL=C) of its lines"
for game in made-up repeated; do
    size=$(stat -c %s "$scratch/$game/mastplyr.dat")
    for order in uid name; do
        timed 3 "$scratch/listing" "${cli[@]}" --folder "$scratch/$game" --order "$order" --csv "$scratch/out.csv"
        ours=$BEST_SECONDS
        print_peak "$game, $order order" "$ours" "$BEST_KILOBYTES" "$size"
        "$native/bin/listing_lines" "$scratch/$game" "$order" > "$scratch/lines"
        if ! cmp -s <(LC_ALL=C sort "$scratch/lines") <(sed '1d;$d' "$scratch/listing" | LC_ALL=C sort); then
            echo "    WARNING: listing_lines gave other lines than veltrane-cli printed"
        fi
        printf '    (%d lines, in master-file order)\n' "$(wc -l < "$scratch/lines")"
        timed 3 "$scratch/sorted" env LC_ALL=C sort "$scratch/lines"
        theirs=$BEST_SECONDS
        printf '    GNU sort %s s: ours is %s x\n' "$theirs" "$(ratio "$ours" "$theirs")"
    done
done

say "veltrane-cli on 1,000,000 copies of one player, against 1,000,000 made-up records (the same run)"
for order in uid name; do
    for game in made-up one-player; do
        timed 3 /dev/null "${cli[@]}" --folder "$scratch/$game" --order "$order" --csv "$scratch/out.csv"
        printf -v "seconds_${game//-/_}" %s "$BEST_SECONDS"
    done
    printf '  %s order: %s s against %s s: %s x\n' "$order" "$seconds_one_player" "$seconds_made_up" \
        "$(ratio "$seconds_one_player" "$seconds_made_up")"
done

say "The workbook's memory: the same run with --csv and --xlsx, against --csv alone"
size=$(stat -c %s "$scratch/made-up/mastplyr.dat")
timed 3 /dev/null "${cli[@]}" --folder "$scratch/made-up" --order uid --csv "$scratch/out.csv"
csv_only=$BEST_KILOBYTES
print_peak "--csv" "$BEST_SECONDS" "$BEST_KILOBYTES" "$size"
timed 3 /dev/null "${cli[@]}" --folder "$scratch/made-up" --order uid --csv "$scratch/out.csv" \
    --xlsx "$scratch/out.xlsx"
print_peak "--csv --xlsx" "$BEST_SECONDS" "$BEST_KILOBYTES" "$size"
printf '    peak memory with the workbook: %s x without\n' "$(ratio "$BEST_KILOBYTES" "$csv_only")"

say "The window under Wine and Xvfb ($(basename "$windows"))"
wine_run "$session" "$windows/bin/window_benchmark.exe"
say "The workbook export under Wine ($(basename "$windows"))"
if [[ "$windows" == *i686 ]]; then
    echo "(the sample only: the million records' cells computed beforehand do not fit a 32-bit address space)"
    wine_run "$session" "$windows/bin/workbook_benchmark.exe" 23000
    if [ -n "$wide" ]; then
        say "The workbook export under Wine, 1,000,000 records ($(basename "$wide"))"
        wine_run "$wide_session" "$wide/bin/workbook_benchmark.exe" 1000000
    fi
else
    wine_run "$session" "$windows/bin/workbook_benchmark.exe"
fi
