#!/usr/bin/env bash
# Veltrane's developer commands. Run as root on Debian 12; each command installs
# what it lacks first. The builds and checks themselves are CMake presets
# (CMakePresets.json); this script installs, fetches and puts them in order.
#
#   ./veltrane.sh run         build the program and start it under Wine on a
#                             generated sample game folder; without a display,
#                             show the sample's listing from veltrane-cli
#   ./veltrane.sh test        build native (plain and sanitized), the fuzz targets,
#                             Windows i686 and x86-64; run every test and replay
#   ./veltrane.sh screenshot  redo docs/screenshot.png under Xvfb
#   ./veltrane.sh bench       speed: the core, veltrane-cli on a million records,
#                             and the window under Wine and Xvfb
#   ./veltrane.sh fuzz [SECONDS|RUNSx]  open-ended fuzzing of each target for SECONDS
#                             (600) or RUNS executions; a finding lands in fuzz/corpus
#                             and fails the command
#   ./veltrane.sh dist [--check]  the release zips in dist/; --check builds them
#                             twice from clean clones and compares them
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=$ROOT/build
SESSION=$ROOT/cmake/wine-session.sh

say() { printf '\n== %s\n' "$*"; }

# The presets build in build/; VELTRANE_BUILD puts that folder elsewhere.
if [ -n "${VELTRANE_BUILD:-}" ] && [ "$(realpath -m "$VELTRANE_BUILD")" != "$(realpath -m "$BUILD")" ]; then
    if [ -e "$BUILD" ] && [ ! -L "$BUILD" ]; then
        echo "VELTRANE_BUILD is set, but build/ is a folder of its own: move or remove it first" >&2
        exit 1
    fi
    mkdir -p "$VELTRANE_BUILD"
    ln -sfn "$(realpath "$VELTRANE_BUILD")" "$BUILD"
fi

# shellcheck source=cmake/deps.sh
source "$ROOT/cmake/deps.sh"
# shellcheck source=cmake/steps.sh
source "$ROOT/cmake/steps.sh"

preset_build() {  # preset
    say "Building $1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# ---- the sample, as a Windows player keeps it -----------------------------

# The game's folder C:\Games\Galvor in the prefix's C: drive, and Veltrane in
# C:\Games\Veltrane with the galvorfolder.txt that names the game's folder.
# Wine has no Courier or Courier New of its own: without a fixed-pitch stand-in
# the listing's columns would not line up as they do on Windows. WINEPREFIX
# (and DISPLAY) are the caller's. Sets SAMPLE_PROGRAMS to Veltrane's folder.
GAME_FOLDER='C:\Games\Galvor'
make_sample_in_prefix() {  # wine-command...
    say "Making the sample game folder $GAME_FOLDER"
    local face games=$WINEPREFIX/drive_c/Games seen
    for face in "Courier" "Courier New"; do
        "$@" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Liberation Mono" /f \
            </dev/null >/dev/null 2>&1
    done
    mkdir -p "$games/Galvor" "$games/Veltrane"
    "$BUILD/run/bin/make-master" --out "$games/Galvor/mastplyr.dat"
    seen=$("$@" winepath.exe -u "$GAME_FOLDER" 2>/dev/null | tr -d '\r') || true
    if [ "$(realpath -m "$seen" 2>/dev/null)" != "$(realpath "$games/Galvor")" ]; then
        echo "Wine does not see the sample game folder as $GAME_FOLDER (it gave \"$seen\")" >&2
        exit 1
    fi
    printf '%s\r\n' "$GAME_FOLDER" > "$games/Veltrane/galvorfolder.txt"
    cp "$BUILD/run-windows-$WINDOWS_RUNNABLE/bin/"{Veltrane_V10.exe,veltrane-cli.exe} "$games/Veltrane/"
    SAMPLE_PROGRAMS=$games/Veltrane
}

# The prefix of a use (none: the tests' and the benchmarks') for the Windows
# build that runs here: a 32-bit Wine needs prefixes of its own.
prefix_name() {  # [use]
    local name=wineprefix${1:+-$1}
    [ "$WINDOWS_RUNNABLE" = i686 ] && name+=-i686
    echo "$name"
}

# The programs of run and screenshot, without tests: native ones for the
# sample, and the Windows build that runs here.
build_window_program() {
    prepare_wine
    fetch_xlsxwriter_source
    preset_build run
    preset_build "run-windows-$WINDOWS_RUNNABLE"
}

# ---- the test command ---------------------------------------------------------

# Each tested build's workflow (configure, build, test) in a row, past any that
# fails; the i686 tests only where 32-bit programs run. INT or TERM ends the
# step under way and begins no other; the summary, printed however the
# command ends, says what each step did.
TESTED_PRESETS=(native sanitize windows-i686 windows-x86_64 fuzz)
FAILED=()
command_test() {
    local preset status result log=$BUILD/test-logs waited=0
    SUMMARY=yes
    install_packages "${BUILD_PACKAGES[@]}"
    prepare_wine
    [ -z "$INTERRUPTED" ] || exit "$INTERRUPTED"
    fetch_xlsxwriter_source
    mkdir -p "$log"
    # Nothing of an earlier run in the summary.
    rm -f "$log"/*.out "$BUILD"/fuzz/work/*.log
    # X servers whose files are hidden hold the first free display numbers.
    "$ROOT/testing/hide-displays.sh" "$log/hidden-displays" </dev/null &
    until [ -f "$log/hidden-displays" ] || [ $waited -gt 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    for preset in "${TESTED_PRESETS[@]}"; do
        [ -z "$INTERRUPTED" ] || break
        say "Building and testing $preset"
        DID[$preset]="under way"
        status=0
        if [ "$preset" = windows-i686 ] && [ "$WINDOWS_RUNNABLE" != i686 ]; then
            step sh -c 'cmake --preset "$1" >/dev/null && cmake --build --preset "$1"' sh "$preset" || status=$?
            [ -z "$INTERRUPTED" ] || break
            DID[$preset]="built; its tests did not run: $I686_NOT_RUN"
            [ $status -eq 0 ] || { FAILED+=("$preset"); DID[$preset]="failed: it did not build"; }
            continue
        fi
        step bash -o pipefail -c 'cmake --workflow --preset "$1" 2>&1 | tee "$2"' bash "$preset" "$log/$preset.out" ||
            status=$?
        [ -z "$INTERRUPTED" ] || break
        result=$(grep -E 'tests passed|No tests were found' "$log/$preset.out" | tail -n 1) || true
        case "$preset:$result" in
            *:) ;;
            windows-i686:*) result+=" (Wine from $WINDOWS_WINE)" ;;
            windows-x86_64:*) result+=" (Wine from $(sh "$SESSION" which x86_64))" ;;
        esac
        DID[$preset]=$result
        [ $status -eq 0 ] || { FAILED+=("$preset"); DID[$preset]="failed: ${result:-see build/test-logs/$preset.out}"; }
    done
    [ -z "$INTERRUPTED" ] || exit "$INTERRUPTED"
    [ ${#FAILED[@]} -eq 0 ] || exit 1
}

# What each step did: finished (with its tests' summary), failed, interrupted
# while under way, or not begun; then each fuzz target's replay.
summarize_tests() {  # the command's exit status
    local name result target statistics
    say "Summary"
    for name in i386-root "${TESTED_PRESETS[@]}"; do
        [ "$name" != i386-root ] || [ -n "${DID[i386-root]:-}" ] || continue
        result=${DID[$name]:-not begun}
        [ "$result" != "under way" ] || result="interrupted while under way"
        echo "$name: $result"
    done
    if [ -n "${DID[fuzz]:-}" ]; then
        for target in $(grep -o '^[a-z_]*' "$ROOT/fuzz/targets.txt"); do
            statistics=$(grep -hE 'stat::(number_of_executed_units|average_exec_per_sec)' \
                "$BUILD/fuzz/work/$target.log" 2>/dev/null | tr -s ' ' | tr '\n' ' ') || true
            echo "  $target: ${statistics:-no replay}"
        done
    fi
    if [ -n "$INTERRUPTED" ]; then
        say "INTERRUPTED: the summary above says what each step did"
    elif [ ${#FAILED[@]} -gt 0 ]; then
        say "FAILED: ${FAILED[*]}"
    elif [ "$1" != 0 ]; then
        say "FAILED: the command ended before its tests (exit status $1)"
    else
        say "All tests passed"
    fi
}

# With a display: the window under Wine on the sample. Without one: the same
# run through veltrane-cli, natively. Builds no tests.
command_run() {
    if [ -z "${DISPLAY:-}" ]; then
        install_packages "${NATIVE_PACKAGES[@]}"
        preset_build run
        local sample=$BUILD/run-sample listing=$BUILD/run-sample/listing.txt
        mkdir -p "$sample/Galvor"
        "$BUILD/run/bin/make-master" --out "$sample/Galvor/mastplyr.dat"
        say "No display found (DISPLAY is not set), so here is the sample through veltrane-cli:" \
            "every season from 1871 to $(date +%Y), first 20 lines, then the count"
        "$BUILD/run/bin/veltrane-cli" --folder "$sample/Galvor" --first 1871 --last "$(date +%Y)" > "$listing"
        head -n 20 "$listing"
        echo "..."
        tail -n 1 "$listing"
        say "To see the window, run ./veltrane.sh run in a desktop session, or ./veltrane.sh screenshot" \
            "for a picture of it (docs/screenshot.png)."
        return 0
    fi
    install_packages "${RUN_PACKAGES[@]}"
    build_window_program
    # A prefix of its own, left as Wine makes it, so a window manager manages the window.
    export WINEPREFIX=$BUILD/$(prefix_name run)
    make_sample_in_prefix sh "$SESSION" wine "$WINDOWS_RUNNABLE"
    say "Starting Veltrane ($WINDOWS_RUNNABLE, Wine from $WINDOWS_WINE) from C:\\Games\\Veltrane:" \
        "type the years and press Process"
    cd "$SAMPLE_PROGRAMS"
    exec sh "$SESSION" wine "$WINDOWS_RUNNABLE" Veltrane_V10.exe
}

command_screenshot() {
    install_packages "${RUN_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
    build_window_program
    # Its own prefix: the font stand-ins stay out of the one the tests use.
    local state=$BUILD/screenshot-session
    start_session "$state" "$BUILD/$(prefix_name screenshot)" "$WINDOWS_RUNNABLE"
    export WINEPREFIX=$BUILD/$(prefix_name screenshot)
    make_sample_in_prefix sh "$SESSION" run "$state"
    "$ROOT/docs/take-screenshot.sh" "$state" "$SAMPLE_PROGRAMS"
    say "Wrote docs/screenshot.png"
}

# A million records' workbook under Wine needs the 64-bit build (the cells the
# benchmark computes beforehand do not fit 32 bits): where the 32-bit build is
# the one measured, the 64-bit one measures that too, in the same run.
command_bench() {
    install_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    prepare_wine
    fetch_xlsxwriter_source
    preset_build bench
    preset_build "bench-windows-$WINDOWS_RUNNABLE"
    start_session "$BUILD/bench-session" "$BUILD/$(prefix_name)" "$WINDOWS_RUNNABLE"
    local wide=()
    if [ "$WINDOWS_RUNNABLE" = i686 ]; then
        preset_build bench-windows-x86_64
        start_session "$BUILD/bench-session-x86_64" "$BUILD/wineprefix" x86_64
        wide=("$BUILD/bench-windows-x86_64" "$BUILD/bench-session-x86_64")
    fi
    "$ROOT/bench/run-benchmarks.sh" "$BUILD/bench" "$BUILD/bench-windows-$WINDOWS_RUNNABLE" "$BUILD/bench-session" \
        "${wide[@]}"
}

# ./veltrane.sh fuzz [SECONDS | RUNSx]: each target for SECONDS (default 600),
# or until it has made RUNS executions ("10000000x"). New coverage stays in the
# work folder; a crash or failed check is written into the corpus, where every
# test run will replay it.
command_fuzz() {
    [ $# -le 1 ] || usage
    local bound=${1:-600} limit target corpus runs longest work found=()
    if [[ "$bound" =~ ^[1-9][0-9]*x$ ]]; then
        limit=(-runs="${bound%x}")
    elif [[ "$bound" =~ ^[1-9][0-9]*$ ]]; then
        limit=(-max_total_time="$bound")
    else
        echo "fuzz takes SECONDS or RUNSx (a whole number, with x for executions), not \"$bound\"" >&2
        usage
    fi
    install_packages "${FUZZ_PACKAGES[@]}"
    preset_build fuzz
    while read -r target corpus runs longest; do
        say "Fuzzing $target (${limit[*]})"
        work=$BUILD/fuzz/work/$target-open
        rm -rf "$work.tmp"
        mkdir -p "$work" "$work.tmp"
        TMPDIR=$work.tmp "$BUILD/fuzz/bin/${target}_fuzz" "${limit[@]}" -max_len="$longest" -print_final_stats=1 \
            -artifact_prefix="$ROOT/fuzz/corpus/$corpus/" "$work" "$ROOT/fuzz/corpus/$corpus" 2>"$work.log" </dev/null ||
            found+=("$target")
        grep -E 'stat::(number_of_executed_units|average_exec_per_sec)|ERROR|SUMMARY|Test unit written' "$work.log" || true
    done < <(grep '^[a-z]' "$ROOT/fuzz/targets.txt")
    if [ ${#found[@]} -gt 0 ]; then
        say "FOUND: ${found[*]} failed (the input is in fuzz/corpus/, so the test command replays it);" \
            "its log is in build/fuzz/work/<target>-open.log"
        exit 1
    fi
}

# A release is compiled from scratch: the cache is for the tests.
command_dist() {
    install_packages "${DIST_PACKAGES[@]}"
    export CCACHE_DISABLE=1
    case "$*" in
        --check) exec "$ROOT/release/release.sh" check ;;
        "") ;;
        *) usage ;;
    esac
    fetch_xlsxwriter_source
    preset_build dist-windows-i686
    preset_build dist-windows-x86_64
    "$ROOT/release/release.sh" package "$XLSXWRITER_SOURCE"
}

# The comment at the top of this file.
usage() {
    sed -n '2,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0" >&2
    exit 2
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
    run|test|screenshot|bench) [ $# -eq 0 ] || usage; "command_$command" ;;
    fuzz) command_fuzz "$@" ;;
    dist) command_dist "$@" ;;
    *) usage ;;
esac
