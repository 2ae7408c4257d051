#!/usr/bin/env bash
# spanfetch.exe under wine reading parts from ISO9660 images (written here by
# xorriso), without a console: an image file as the source, and a folder of
# images as the source, by path and as drive E:. Exit code, standard output
# and the destination files byte for byte. Usage: disc_image_cases.sh GROUP
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh"
need_program "$WINE"
need_program xorriso
# A helper missing from the libraries would only print "command not found".
for helper in make_set make_expected same_files copy_transcript check_bytes check_listing windows_path drive; do
    declare -F "$helper" >/dev/null || { echo "FAIL: no shell function $helper"; exit 1; }
done

group="$1"
work="$SCRATCH/images_$group"
rm -rf "$work"
mkdir -p "$work/dest"
drive D "$work/dest"

# make_iso ISO [xorriso options --] FILES...: an image holding FILES in its root.
make_iso()
{
    local iso="$1" options=()
    shift
    if [[ " $* " == *" -- "* ]]; then
        while [ "$1" != "--" ]; do options+=("$1"); shift; done
        shift
    fi
    rm -rf "$work/stage" && mkdir -p "$work/stage"
    cp "$@" "$work/stage/"
    xorriso -as mkisofs -quiet "${options[@]}" -o "$iso" "$work/stage" >/dev/null 2>&1 ||
        { echo "xorriso failed for $iso"; exit 1; }
    rm -rf "$work/stage"
}

# A three-part set, the end marker in part 2; what its conversion must give in
# expected/, and what a run that stops after part 0 leaves in stopped/.
image=(100000,204800,150000 --marker 2:66K)
make_set "$work/set" "${image[@]}"
make_expected "$work/expected" "${image[@]}"
make_expected "$work/stopped" "${image[@]}" --stop 0:100000

# convert CASE_NAME SOURCE SHOWN: a whole conversion from SOURCE, its
# messages naming the parts as SHOWN\KORVADIS.*.
convert()
{
    local name="$1" source="$2" shown="$3"
    rm -f "$work/dest"/*
    run "$name" "$source" 'D:\disk'
    copy_transcript "$shown\\KORVADIS" 'D:\disk.IMG' 3
    expect "$name" 0 "$TRANSCRIPT"
    same_files "$name" "$work/expected" "$work/dest"
}

case "$group" in
image_file)
    for flavour in "-iso-level 1" "-J" "-R -J"; do
        # shellcheck disable=SC2086 # the options are separate words
        make_iso "$work/cd.iso" $flavour -- "$work/set"/KORVADIS.*
        source=$(windows_path "$work/cd.iso")
        convert "image ($flavour)" "$source" "$source"
    done

    # An image lacking part 1, and a file that is no image: the part is absent.
    make_iso "$work/part0.iso" "$work/set/KORVADIS.IMG"
    source=$(windows_path "$work/part0.iso")
    rm -f "$work/dest"/*
    run "image without part 1" "$source" 'D:\disk'
    expect "image without part 1" 3 $'\n\nCopying file '"$source"$'\\KORVADIS.IMG to D:\\disk.IMG...\nPlease insert disc for file '"$source"$'\\KORVADIS.001 and press enter.\n\nUnable to open '"$source"$'\\KORVADIS.001\n'
    same_files "image without part 1: part 0 kept as copied" "$work/stopped" "$work/dest"

    head -c 100000 /dev/zero | tr '\0' 'n' >"$work/notes.txt"
    source=$(windows_path "$work/notes.txt")
    rm -f "$work/dest"/*
    run "file that is no image" "$source" 'D:\disk'
    expect "file that is no image" 3 $'\nPlease insert disc for file '"$source"$'\\KORVADIS.IMG and press enter.\n\nUnable to open '"$source"$'\\KORVADIS.IMG\n'
    check_listing "file that is no image" "$work/dest"
    ;;

image_folder)
    # One image per part, one of them named in upper case, beside an image of
    # other files, a text file named like an image and a folder so named.
    mkdir -p "$work/rips/more.iso"
    make_iso "$work/rips/disc1.iso" "$work/set/KORVADIS.IMG"
    make_iso "$work/rips/disc2.ISO" -J -- "$work/set/KORVADIS.001"
    make_iso "$work/rips/disc3.iso" "$work/set/KORVADIS.002"
    printf 'notes\n' >"$work/README.TXT"
    make_iso "$work/rips/unrelated.iso" "$work/README.TXT"
    head -c 100000 /dev/zero | tr '\0' 'n' >"$work/rips/notes.iso"

    rips=$(windows_path "$work/rips")
    convert "folder by path" "$rips" "$rips"
    drive E "$work/rips"
    convert "folder as drive E:" E: E:

    # Without the image of part 1 the run ends at its disc prompt.
    mv "$work/rips/disc2.ISO" "$work/disc2.ISO"
    rm -f "$work/dest"/*
    run "image of part 1 missing" E: 'D:\disk'
    expect "image of part 1 missing" 3 $'\n\nCopying file E:\\KORVADIS.IMG to D:\\disk.IMG...\nPlease insert disc for file E:\\KORVADIS.001 and press enter.\n\nUnable to open E:\\KORVADIS.001\n'
    same_files "image of part 1 missing: part 0 kept as copied" "$work/stopped" "$work/dest"
    ;;

*)
    echo "unknown group $group"
    exit 2
    ;;
esac

finish
