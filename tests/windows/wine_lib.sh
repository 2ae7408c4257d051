# Shared by the wine test scripts: the wine environment, drive letters, image
# sets, the expected destination parts, and the checks. Sourced, not run;
# failed checks, skipping and the end of a test come from tests/lib.sh.
#   SPANFETCH_EXE, MKIMAGE_EXE  the .exe files under test
#   WINEPREFIX                  the build's wine prefix
#   SCRATCH                     a directory the test may fill
#   WINE                        the wine program (found by the build)

. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
: "${WINE:=wine}"

# Every wine call ends within this many seconds.
WINE_TIMEOUT=120

# A test that cannot run here skips, except in CI, where it fails.
need_program()
{
    if ! command -v "$1" >/dev/null 2>&1; then
        if [ "${CI:-}" = "true" ]; then
            echo "FAIL: $1 is not installed; CI must run the Windows tests"
            exit 1
        fi
        skip "$1 is not installed, the Windows build cannot be tested under wine"
    fi
}

# Z:\... names the same file for wine, which maps Z: to /.
windows_path()
{
    local path="$1"
    printf 'Z:%s' "${path//\//\\}"
}

# Points drive letter $1 at directory $2 (a missing one leaves the drive empty).
drive()
{
    ln -sfn "$2" "$WINEPREFIX/dosdevices/${1,,}:"
}

# with_wine_retry COMMAND...: runs a wine command, again when wine itself could
# not reach its server ("wine client error:0: recvmsg: Connection reset by
# peer", seen when a call starts just as the idle server shuts down): the
# program never got to run, so it is no result of the program's own.
with_wine_retry()
{
    local attempt status errors
    errors=$(mktemp)
    for attempt in 1 2 3; do
        "$@" 2>"$errors" && status=0 || status=$?
        grep -q "wine client error" "$errors" || break
        echo "note: wine could not reach its server on attempt $attempt" >&2
        sleep 1
    done
    cat "$errors" >&2
    rm -f "$errors"
    return "$status"
}

run_wine()
{
    with_wine_retry timeout "$WINE_TIMEOUT" "$WINE" "$@"
}

# make_set DIR SIZES [mkimage options...]: writes an image set with mkimage.exe.
make_set()
{
    local dir="$1"
    shift
    mkdir -p "$dir"
    run_wine "$MKIMAGE_EXE" "$(windows_path "$dir")" "$@" </dev/null >/dev/null || {
        echo "mkimage.exe failed for $dir $*"
        exit 1
    }
}

# make_expected DIR SIZES [mkimage options...]: writes into DIR, emptied first,
# the destination parts disk.IMG, disk.001 ... that converting the set leaves
# (with --stop PART:OFFSET: a run that fails there), and sets END to where the
# copy ends, PART:OFFSET.
make_expected()
{
    local dir="$1"
    shift
    rm -rf "$dir"
    mkdir -p "$dir"
    END=$(run_wine "$MKIMAGE_EXE" --expect "$(windows_path "$dir")" disk "$@" </dev/null) || {
        echo "mkimage.exe --expect failed for $dir $*"
        exit 1
    }
    END=${END%$'\r'}
}

part_name()
{
    if [ "$1" -eq 0 ]; then printf 'IMG'; else printf '%03d' "$1"; fi
}

# Standard output with the line ends a text-mode console program writes.
crlf()
{
    printf '%s' "${1//$'\n'/$'\r\n'}"
}

# check_bytes WHAT EXPECTED_TEXT ACTUAL_FILE
check_bytes()
{
    local expected_file="$SCRATCH/expected.txt"
    crlf "$2" >"$expected_file"
    if ! cmp -s "$expected_file" "$3"; then
        fail "$1: output differs"
        echo "--- expected"; od -c "$expected_file" | head -20
        echo "--- actual"; od -c "$3" | head -20
    fi
}

# check_listing WHAT DIR NAMES...: DIR holds exactly these files (paths below it).
check_listing()
{
    local what="$1" dir="$2"
    shift 2
    local actual expected
    actual=$(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
    expected=$(printf '%s\n' "$@" | sed '/^$/d' | LC_ALL=C sort | tr '\n' ' ')
    [ "$actual" = "$expected" ] || fail "$what: files are [$actual], expected [$expected]"
}

# The messages of a successful run, for the source and destination names of
# each part, into TRANSCRIPT (a command substitution would drop its last line end).
copy_transcript()
{
    local src="$1" dest="$2" parts="$3" part text=$'\n'
    for ((part = 0; part < parts; part++)); do
        [ "$part" -eq 0 ] || text+=$'\n'
        text+=$'\n'"Copying file ${src}.$(part_name "$part") to ${dest%.*}.$(dest_suffix "$dest" "$part")..."
    done
    TRANSCRIPT="$text"$'\nCompleted Successfuly\n'
}

# Part 0 keeps the extension as typed; later parts are numbered.
dest_suffix()
{
    if [ "$2" -eq 0 ]; then printf '%s' "${1##*.}"; else printf '%03d' "$2"; fi
}

# run CASE_NAME ARGS...: runs the tool detached from any terminal, so it has no
# console to ask on; sets rc and leaves standard output in $work/stdout.
run()
{
    local name="$1"
    shift
    echo "-- $name: spanfetch $*"
    with_wine_retry setsid -w timeout "$WINE_TIMEOUT" "$WINE" "$SPANFETCH_EXE" "$@" \
        </dev/null >"$work/stdout" 2>"$work/stderr"
    rc=$?
}

# expect CASE_NAME RC TEXT: the exit code and standard output of the last run.
expect()
{
    if [ "$rc" -ne "$2" ]; then
        fail "$1: exit code $rc, expected $2"
        [ -s "$work/stderr" ] && { echo "--- standard error"; head -20 "$work/stderr"; }
    fi
    check_bytes "$1" "$3" "$work/stdout"
}
