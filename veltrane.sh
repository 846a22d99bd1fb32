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

# ---- packages -------------------------------------------------------------

NATIVE_PACKAGES=(cmake ninja-build g++ libxlsxwriter-dev zlib1g-dev)
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev)
RUN_PACKAGES=("${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" wine wine64 fonts-liberation)
DIST_PACKAGES=(cmake ninja-build git python3 "${WINDOWS_PACKAGES[@]}")
BENCH_PACKAGES=(libbenchmark-dev time)
SCREENSHOT_PACKAGES=(xvfb xauth xdotool imagemagick)
FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev libxlsxwriter-dev zlib1g-dev)
# gcc-multilib: the Windows tests' failing-calls library is built for 32-bit
# Wine too (an amd64 package: no i386 index needed).
BUILD_PACKAGES=("${NATIVE_PACKAGES[@]}" clang libclang-rt-14-dev googletest python3-openpyxl ccache gcc-multilib
                "${WINDOWS_PACKAGES[@]}" wine wine64 xvfb xauth)

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
    done
}

# A mirror in the middle of a sync fails an index now and then: try again, and
# in the end go on with what apt has (an install that then fails stops us),
# showing what apt said.
apt_update() {  # [apt options...]
    local attempt output
    for attempt in 1 2 3; do
        output=$(apt-get "$@" update -qq --error-on=any 2>&1) && return 0
        [ $attempt = 3 ] || sleep 10
    done
    {
        echo "WARNING: apt could not refresh every package index; going on with the ones it has. apt said:"
        grep -E '^[EW]:' <<<"$output" | sed 's/^/    /' | tail -n 8
    } >&2
}

need_root() {  # packages...
    if [ "$(id -u)" != 0 ]; then
        echo "These Debian packages are needed: $* (run as root to install them)" >&2
        exit 1
    fi
}

# apt_install PACKAGES...: apt's messages are kept in APT_OUTPUT.
apt_install() {
    need_root "$@"
    export DEBIAN_FRONTEND=noninteractive
    apt_update
    APT_OUTPUT=$(apt-get install -y -qq --no-install-recommends "$@" 2>&1)
}

install_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    say "Installing:" $missing
    # shellcheck disable=SC2086
    apt_install $missing || { echo "$APT_OUTPUT" >&2; exit 1; }
}

# The 32-bit (i686) programs run only where the kernel starts i386 programs
# (some run 64-bit code only), under the Wine of a private Debian 12 i386 root
# that cmake/wine-session.sh makes once for the machine; the host's apt and
# architectures are left as they are. Sets WINDOWS_RUNNABLE: the Windows build
# whose programs run here, the product (i686) or the x86-64 build standing in
# for it, WINDOWS_WINE: which Wine runs it, and I686_NOT_RUN: why the i686
# programs cannot run here, in one line (empty where they run).
WINDOWS_RUNNABLE=x86_64
I686_NOT_RUN=
prepare_wine() {
    local status=0 why
    "$ROOT/cmake/kernel-runs-i386.sh" "$BUILD" || status=$?
    [ $status -le 1 ] || exit 1
    if [ $status -eq 1 ]; then
        I686_NOT_RUN="this kernel refuses 32-bit programs"
        [ -z "${VELTRANE_I386_RUNS:-}" ] || I686_NOT_RUN+=" (VELTRANE_I386_RUNS=$VELTRANE_I386_RUNS says so)"
        say "WARNING: this machine's kernel runs 64-bit programs only (it refuses to start 32-bit ones)," \
            "so the i686 build is built but cannot run here; the x86-64 build stands in for it."
    else
        if [ -n "$(missing_packages debootstrap debian-archive-keyring)" ]; then
            say "Installing: debootstrap"
            apt_install debootstrap debian-archive-keyring || echo "$APT_OUTPUT" | tail -n 12 >&2
        fi
        why=$BUILD/i386-root-failure
        mkdir -p "$BUILD"
        rm -f "$why"
        if step sh "$SESSION" make-i386-root "$why"; then
            WINDOWS_RUNNABLE=i686
        else
            I686_NOT_RUN=$(cat "$why")
            : "${I686_NOT_RUN:=the i386 root could not be made}"
            say "WARNING: the i686 build is built but cannot run here; the x86-64 build stands in for it."
        fi
        rm -f "$why"
    fi
    WINDOWS_WINE=$(sh "$SESSION" which "$WINDOWS_RUNNABLE")
}

# Debian ships libxlsxwriter for Linux only; the Windows builds compile Debian's
# source package of it with the MinGW toolchain (the presets find it here). It
# is fetched with apt's own verification, through a private source list that
# leaves the system's alone.
XLSXWRITER_VERSION=1.1.4
XLSXWRITER_SOURCE=$BUILD/deps/libxlsxwriter-RELEASE_$XLSXWRITER_VERSION

# The system's apt sources as source entries, in whichever layout it keeps
# them: one-line entries in sources.list and sources.list.d/*.list, deb822
# files in sources.list.d/*.sources, or both.
source_entries() {  # folder
    local file count=0
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        count=$((count + 1))
        case "$file" in
            *.sources) sed -E 's/^Types:.*/Types: deb-src/I' "$file" > "$1/$count.sources" ;;
            *) sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$file" > "$1/$count.list" ;;
        esac
    done
    if [ $count = 0 ]; then
        echo "No apt sources found (/etc/apt/sources.list, /etc/apt/sources.list.d/): the source package of" \
            "libxlsxwriter cannot be fetched" >&2
        exit 1
    fi
}

fetch_xlsxwriter_source() {
    [ -f "$XLSXWRITER_SOURCE/CMakeLists.txt" ] && return 0
    say "Fetching Debian's source package of libxlsxwriter"
    local state=$BUILD/deps/apt
    rm -rf "$state"
    mkdir -p "$state/parts" "$state/lists/partial"
    source_entries "$state/parts"
    local options=(-o Dir::Etc::SourceParts="$state/parts" -o Dir::Etc::SourceList=/dev/null
                   -o Dir::State::Lists="$state/lists")
    apt_update "${options[@]}"
    local output
    if ! output=$(cd "$BUILD/deps" && apt-get "${options[@]}" source --download-only -qq libxlsxwriter 2>&1); then
        echo "apt could not fetch the source package of libxlsxwriter. apt said:" >&2
        sed 's/^/    /' <<<"$output" | tail -n 12 >&2
        exit 1
    fi
    tar -xzf "$BUILD/deps/libxlsxwriter_$XLSXWRITER_VERSION.orig.tar.gz" -C "$BUILD/deps"
    [ -f "$XLSXWRITER_SOURCE/CMakeLists.txt" ] || { echo "libxlsxwriter's sources did not unpack" >&2; exit 1; }
}

preset_build() {  # preset
    say "Building $1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# ---- what a command starts, stopped when it ends, however it ends ----------

# A Wine session belongs to this command: it ends with it, however it ends,
# and every Wine process of its prefix with it.
SESSIONS=()
stop_what_we_started() {
    local state
    for state in "${SESSIONS[@]}"; do
        sh "$SESSION" stop "$state" || true
    done
}
trap stop_what_we_started EXIT

# INT and TERM end the command at once: bash runs a trap only once the command
# in the foreground has ended, so a long step runs in a process group of its
# own, waited for (step), and the trap ends that whole group. A command with
# a summary (SUMMARY set) goes on to it, INTERRUPTED saying why; others exit.
STEP=
SUMMARY=
INTERRUPTED=
interrupted() {  # status
    INTERRUPTED=$1
    [ -n "$STEP" ] || [ -n "$SUMMARY" ] || exit "$1"
}
trap 'interrupted 130' INT
trap 'interrupted 143' TERM

# Succeeds while a process of the group runs (a zombie runs no more).
group_runs() {  # process group
    cat /proc/[0-9]*/stat 2>/dev/null |
        awk -v group="$1" '{ sub(/.*\) /, "") } $3 == group && $1 != "Z" { found = 1 } END { exit !found }'
}

# Ends a process group: TERM, and five seconds later KILL for what is left.
end_group() {  # process group
    local waited=0
    kill -TERM -- "-$1" 2>/dev/null || return 0
    while group_runs "$1" && [ $waited -lt 50 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL -- "-$1" 2>/dev/null || true
}

# step COMMAND...: runs it as described above; its status, or INTERRUPTED's.
step() {
    local status=0
    [ -z "$INTERRUPTED" ] || return "$INTERRUPTED"
    setsid "$@" &
    STEP=$!
    wait "$STEP" || status=$?
    if [ -n "$INTERRUPTED" ]; then
        end_group "$STEP"
        wait "$STEP" 2>/dev/null || true
        STEP=
        [ -n "$SUMMARY" ] || exit "$INTERRUPTED"
        return "$INTERRUPTED"
    fi
    STEP=
    return "$status"
}

start_session() {  # state prefix bits
    export VELTRANE_SESSION_OWNER=$$
    SESSIONS+=("$1")
    sh "$SESSION" start "$1" "$2" "$3"
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

# ---- commands -------------------------------------------------------------

# Each tested build's workflow (configure, build, test) in a row, past any that
# fails; the i686 tests only where 32-bit programs run. INT or TERM ends the
# step under way and skips the rest; the summary says what finished.
TESTED_PRESETS=(native sanitize windows-i686 windows-x86_64 fuzz)
command_test() {
    install_packages "${BUILD_PACKAGES[@]}"
    prepare_wine
    fetch_xlsxwriter_source
    local preset status failed=() log=$BUILD/test-logs waited=0
    mkdir -p "$log"
    # Nothing of an earlier run in the summary.
    rm -f "${TESTED_PRESETS[@]/#/$log/}" "$BUILD"/fuzz/work/*.log
    # X servers whose files are hidden hold the first free display numbers.
    "$ROOT/testing/hide-displays.sh" "$log/hidden-displays" </dev/null &
    until [ -f "$log/hidden-displays" ] || [ $waited -gt 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    SUMMARY=yes
    for preset in "${TESTED_PRESETS[@]}"; do
        say "Building and testing $preset"
        status=0
        if [ "$preset" = windows-i686 ] && [ "$WINDOWS_RUNNABLE" != i686 ]; then
            step sh -c 'cmake --preset "$1" >/dev/null && cmake --build --preset "$1"' sh "$preset" || status=$?
            [ -z "$INTERRUPTED" ] || break
            if [ $status -eq 0 ]; then
                echo "built; its tests did not run: $I686_NOT_RUN" > "$log/$preset"
            else
                failed+=("$preset")
                echo "did not build" > "$log/$preset"
            fi
            continue
        fi
        step bash -o pipefail -c 'cmake --workflow --preset "$1" 2>&1 | tee "$2"' bash "$preset" "$log/$preset.out" ||
            status=$?
        [ -z "$INTERRUPTED" ] || break
        [ $status -eq 0 ] || failed+=("$preset")
        grep -E 'tests passed|No tests were found' "$log/$preset.out" | tail -n 1 > "$log/$preset" || true
    done
    summarize_tests "$log"
    if [ -n "$INTERRUPTED" ]; then
        say "INTERRUPTED: the summary above is of what finished"
        exit "$INTERRUPTED"
    fi
    if [ ${#failed[@]} -gt 0 ]; then
        say "FAILED: ${failed[*]}"
        exit 1
    fi
    say "All tests passed"
}

summarize_tests() {  # log folder
    local preset wine result target statistics
    say "Summary"
    for preset in "${TESTED_PRESETS[@]}"; do
        wine=
        case "$preset" in
            windows-i686) [ "$WINDOWS_RUNNABLE" = i686 ] && wine=" (Wine from $WINDOWS_WINE)" ;;
            windows-x86_64) wine=" (Wine from $(sh "$SESSION" which x86_64))" ;;
        esac
        result=$(cat "$1/$preset" 2>/dev/null) || true
        if [ -z "$result" ]; then
            result="no result"
            [ -z "$INTERRUPTED" ] || result="interrupted before it finished"
            wine=
        fi
        echo "$preset: $result$wine"
    done
    for target in $(grep -o '^[a-z_]*' "$ROOT/fuzz/targets.txt"); do
        statistics=$(grep -hE 'stat::(number_of_executed_units|average_exec_per_sec)' "$BUILD/fuzz/work/$target.log" \
            2>/dev/null | tr -s ' ' | tr '\n' ' ') || true
        echo "  $target: ${statistics:-no replay}"
    done
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
