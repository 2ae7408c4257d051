#!/usr/bin/env bash
# The two dialogues of spanfetch.exe under wine, in a terminal: tmux gives the
# tool a console, keys are sent to it and the screen is read back (wine's
# console redraws with terminal escapes, so the screen, not the byte stream,
# is what is compared). E: is the fake CD drive, D: the destination drive.
# Usage: dialogue_cases.sh GROUP
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh"
need_program "$WINE"
need_program tmux

group="$1"
work="$SCRATCH/$group"
rm -rf "$work"
mkdir -p "$work/dest"
drive D "$work/dest"

# Every wait for the screen or the exit ends within this many seconds.
SCREEN_TIMEOUT=60
session=0
exit_file=/nonexistent
TMUX_CMD=(tmux -f /dev/null -S "$work/tmux.sock")
trap '"${TMUX_CMD[@]}" kill-server 2>/dev/null' EXIT

# start ARGS...: runs the tool in a fresh terminal, each in a server of its own.
# The pane stays after the tool ends. Its exit code goes to a file of its own:
# tmux sees the terminal close apart from the process's end (wine's server
# may hold the terminal or let it go first), and then may never learn the status.
start()
{
    "${TMUX_CMD[@]}" kill-server 2>/dev/null
    session=$((session + 1))
    TMUX_CMD=(tmux -f /dev/null -S "$work/tmux.$session.sock")
    exit_file="$work/exit.$session"
    rm -f "$exit_file" "$exit_file.new"
    local command="timeout --foreground $WINE_TIMEOUT '$WINE' '$SPANFETCH_EXE'" arg
    for arg in "$@"; do command+=" '$arg'"; done
    command+="; echo \$? >'$exit_file.new'; mv '$exit_file.new' '$exit_file'"
    "${TMUX_CMD[@]}" new-session -d -x 200 -y 50 -c "$work" \
        -e "WINEPREFIX=$WINEPREFIX" -e "WINEDEBUG=$WINEDEBUG" -e "WINEDLLOVERRIDES=$WINEDLLOVERRIDES" \
        "$command" \; set-option -w remain-on-exit on
}

# Whether the tool has ended, and its exit code.
ended()
{
    [ -f "$exit_file" ]
}

exit_code()
{
    cat "$exit_file"
}

screen()
{
    "${TMUX_CMD[@]}" capture-pane -p -S - 2>/dev/null
}

# wait_screen WHAT TEXT [COUNT]: waits until TEXT shows on COUNT lines (default 1).
wait_screen()
{
    local what="$1" text="$2" count="${3:-1}" deadline=$((SECONDS + SCREEN_TIMEOUT))
    while [ "$SECONDS" -lt "$deadline" ]; do
        [ "$(screen | grep -cF -- "$text")" -ge "$count" ] && return 0
        ended && break
        sleep 0.2
    done
    [ "$(screen | grep -cF -- "$text")" -ge "$count" ] && return 0
    fail "$what: \"$text\" not shown $count time(s)"
    echo "--- screen"; screen | sed '/^$/d'
    return 1
}

# wait_exit WHAT RC: waits for the tool to end with exit code RC.
wait_exit()
{
    local deadline=$((SECONDS + SCREEN_TIMEOUT)) rc="none (still running)"
    while ! ended && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    ended && rc=$(exit_code)
    [ "$rc" = "$2" ] || { fail "$1: exit code $rc, expected $2"; echo "--- screen"; screen | sed '/^$/d'; }
}

# The prompt shows the same number of times for a while: keys were ignored.
still_shown()
{
    sleep 1
    local shown
    shown=$(screen | grep -cF -- "$2")
    [ "$shown" -eq "$3" ] || fail "$1: \"$2\" shown $shown time(s), expected $3"
    ! ended || fail "$1: the tool ended, exit code $(exit_code)"
}

keys()
{
    "${TMUX_CMD[@]}" send-keys "$@"
}

QUESTION="Do you want to overwrite it (Y/N)?"

case "$group" in
overwrite)
    image=(200K --marker 0:128K)
    make_set "$work/cd" "${image[@]}"
    make_expected "$work/expected" "${image[@]}"
    drive E "$work/cd"
    # The old file is longer than the new one, so a missing truncation shows.
    head -c 300000 /dev/zero | tr '\0' 'o' >"$work/old"

    # Keys typed at the question | exit code | the destination afterwards (old or new)
    while IFS='|' read -r answers code result; do
        name="answers $answers"
        cp "$work/old" "$work/dest/disk.IMG"
        start E: 'D:\disk'
        wait_screen "$name" "$QUESTION" || continue
        for answer in $answers; do
            [ "$answer" = "Enter" ] || keys -l "$answer"
            keys Enter
        done
        wait_exit "$name" "$code"
        if [ "$result" = new ]; then
            wait_screen "$name" "Completed Successfuly"
            same_files "$name" "$work/expected" "$work/dest"
        else
            cmp -s "$work/old" "$work/dest/disk.IMG" || fail "$name: the destination was changed"
        fi
        check_listing "$name" "$work/dest" disk.IMG
    done <<'EOF_ROWS'
n|1|old
No|1|old
y|0|new
Enter x n|1|old
Yes|0|new
EOF_ROWS

    # Saying yes to a destination that is the source part itself must not truncate it.
    cp "$work/cd/KORVADIS.IMG" "$work/source_before"
    start E: 'E:\korvadis'
    if wait_screen "destination is the source" "$QUESTION"; then
        keys -l y
        keys Enter
        wait_exit "destination is the source" 5
        wait_screen "destination is the source" 'Unable to open E:\korvadis.IMG'
    fi
    cmp -s "$work/source_before" "$work/cd/KORVADIS.IMG" || fail "destination is the source: the source was changed"
    ;;

disc_wait)
    image=("100000,204800,150000" --marker 2:66K)
    make_set "$work/all" "${image[@]}"
    make_expected "$work/expected" "${image[@]}"
    make_expected "$work/expected_esc" "${image[@]}" --stop 0:100000
    mkdir -p "$work/disc1" "$work/disc2" "$work/empty"
    cp "$work/all/KORVADIS.IMG" "$work/disc1/"
    cp "$work/all/KORVADIS.001" "$work/all/KORVADIS.002" "$work/disc2/"

    # No disc at the start, then disc 1, then disc 2; other keys do nothing.
    name="disc changes"
    drive E "$work/empty"
    start E: 'D:\disk'
    if wait_screen "$name" 'Please insert disc for file E:\KORVADIS.IMG and press enter.'; then
        keys -l a
        keys C-c F1 Up Space
        still_shown "$name, other keys" 'Please insert disc for file' 1
        drive E "$work/disc1"
        keys Enter
        wait_screen "$name" 'Please insert disc for file E:\KORVADIS.001 and press enter.'
        # Still the wrong disc: asked again.
        keys Enter
        wait_screen "$name" 'Please insert disc for file E:\KORVADIS.001 and press enter.' 2
        drive E "$work/disc2"
        keys Enter
        wait_exit "$name" 0
        wait_screen "$name" "Completed Successfuly"
        same_files "$name" "$work/expected" "$work/dest"
    fi

    # Esc abandons the wait: exit code 3, the parts already written stay.
    name="Esc"
    rm -f "$work/dest"/*
    drive E "$work/disc1"
    start E: 'D:\disk'
    if wait_screen "$name" 'Please insert disc for file E:\KORVADIS.001 and press enter.'; then
        keys Escape
        wait_exit "$name" 3
        wait_screen "$name" 'Unable to open E:\KORVADIS.001'
        same_files "$name: part 0 kept as copied" "$work/expected_esc" "$work/dest"
    fi
    ;;

*)
    echo "unknown group $group"
    exit 2
    ;;
esac

finish "all checks passed"
