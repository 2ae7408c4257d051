# Shared by the shell tests: failed checks, skipping, the end of a test, and the
# comparison with the destination parts the image builder expects. Sourced, not run.
# A test that cannot run here exits 77, which CTest reports as skipped.
# shellcheck shell=bash

failures=0

# fail WHAT...: one check failed; the test goes on and fails at finish.
fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# skip WHY...: the test cannot run here.
skip()
{
    echo "SKIPPED: $*"
    exit 77
}

# finish [LINE...]: ends the test, failed when a check failed; otherwise prints
# LINE (if given) as its last output.
finish()
{
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    [ $# -eq 0 ] || echo "$*"
    exit 0
}

# same_files WHAT EXPECTED_DIR DIR: DIR holds exactly the files of EXPECTED_DIR
# (as written by mkimage --expect), byte for byte.
same_files()
{
    local what="$1" expected="$2" actual="$3" want got name
    want=$(cd "$expected" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
    got=$(cd "$actual" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
    [ "$want" = "$got" ] || fail "$what: files are [$got], expected [$want]"
    for name in $want; do
        if [ -f "$actual/$name" ] && ! cmp -s "$expected/$name" "$actual/$name"; then
            fail "$what: $name differs from the expected part"
        fi
    done
}
