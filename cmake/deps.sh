# Sourced by veltrane.sh: what its commands need. The Debian packages of each,
# installed with the system's apt; Debian's source package of libxlsxwriter for
# the Windows builds; and the Wine that runs the Windows programs here.

NATIVE_PACKAGES=(cmake ninja-build g++ libxlsxwriter-dev zlib1g-dev)
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev)
RUN_PACKAGES=("${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" wine wine64 fonts-liberation)
DIST_PACKAGES=(cmake ninja-build git python3 "${WINDOWS_PACKAGES[@]}")
BENCH_PACKAGES=(libbenchmark-dev time)
SCREENSHOT_PACKAGES=(xvfb xauth xdotool imagemagick)
FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev libxlsxwriter-dev zlib1g-dev)
BUILD_PACKAGES=("${NATIVE_PACKAGES[@]}" clang libclang-rt-14-dev googletest python3-openpyxl ccache
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

# ---- Wine -------------------------------------------------------------------

# The 32-bit (i686) programs run only where the kernel starts i386 programs
# (some run 64-bit code only), under the Wine of a private Debian 12 i386 root
# (cmake/i386-root.sh), made once for the machine. Sets WINDOWS_RUNNABLE: the
# Windows build whose programs run here, the product (i686) or the x86-64
# build standing in for it, WINDOWS_WINE: which Wine runs it, and
# I686_NOT_RUN: why the i686 programs do not run here, in one line.
WINDOWS_RUNNABLE=x86_64
I686_NOT_RUN=
declare -A DID=()
prepare_wine() {
    local status=0 why=$BUILD/i386-root-failure
    [ "${VELTRANE_I386_RUNS:-}" = no ] || "$ROOT/cmake/kernel-runs-i386.sh" "$BUILD" || status=$?
    if [ "${VELTRANE_I386_RUNS:-}" = no ]; then
        I686_NOT_RUN="VELTRANE_I386_RUNS=no says not to run them"
        say "WARNING: VELTRANE_I386_RUNS=no, so the i686 build is built but its programs are not run;" \
            "the x86-64 build stands in for it."
    elif [ $status -gt 1 ]; then
        exit 1
    elif [ $status -eq 1 ]; then
        I686_NOT_RUN="this kernel refuses 32-bit programs"
        say "WARNING: this machine's kernel runs 64-bit programs only (it refuses to start 32-bit ones)," \
            "so the i686 build is built but cannot run here; the x86-64 build stands in for it."
    else
        if [ -n "$(missing_packages debootstrap debian-archive-keyring)" ]; then
            say "Installing: debootstrap"
            apt_install debootstrap debian-archive-keyring || echo "$APT_OUTPUT" | tail -n 12 >&2
        fi
        mkdir -p "$BUILD"
        rm -f "$why"
        DID[i386-root]="under way"
        sh "$ROOT/cmake/i386-root.sh" ready && DID[i386-root]="ready (made before)"
        if step sh "$ROOT/cmake/i386-root.sh" make "$why"; then
            WINDOWS_RUNNABLE=i686
            [ "${DID[i386-root]}" != "under way" ] || DID[i386-root]="made"
        elif [ -z "$INTERRUPTED" ]; then
            I686_NOT_RUN=$(cat "$why" 2>/dev/null) || true
            : "${I686_NOT_RUN:=the i386 root could not be made}"
            DID[i386-root]="failed: $I686_NOT_RUN"
            say "WARNING: the i686 build is built but cannot run here; the x86-64 build stands in for it."
        fi
        rm -f "$why"
    fi
    WINDOWS_WINE=$(sh "$SESSION" which "$WINDOWS_RUNNABLE")
}
