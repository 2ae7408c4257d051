#!/usr/bin/env bash
# spanfetch.exe under wine without a console: each group of cases compares
# exit code, standard output and the destination files byte for byte.
# E: is the fake CD drive (a cdrom drive letter pointing at a folder), D: the
# destination drive. Usage: conversion_cases.sh GROUP
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh"
need_program "$WINE"

group="$1"
work="$SCRATCH/$group"
rm -rf "$work"
mkdir -p "$work/dest"
drive D "$work/dest"

USAGE_TEXT=$'spanfetch - copies a disc image spanning one or more CDs and converts it\n\nusage: spanfetch s: d:\\path\\filename\n\nThe first parameter s: is the source cd drive letter.\nd:\\path\\filename is the destination for the copied files.\n'

case "$group" in
usage)
    # Arguments after the command name, '|' between them.
    for row in "" "E:" "E:|D:\\disk|extra"; do
        IFS='|' read -ra args <<<"$row"
        run "${#args[@]} arguments" "${args[@]}"
        expect "${#args[@]} arguments" 1 "$USAGE_TEXT"
    done
    check_listing "usage" "$work/dest"
    ;;

paths)
    # Source names, against a set already converted: its message shows the composed path.
    make_set "$work/converted" 4K --signature IMG
    drive E "$work/converted"
    converted_dir=$(windows_path "$work/converted")
    while IFS='|' read -r source path; do
        run "source $source" "$source" 'D:\disk'
        expect "source $source" 0 $'\n'"$path is already an IMG file."$'\n'
    done <<EOF_ROWS
E:|E:\\KORVADIS.IMG
E:\\|E:\\KORVADIS.IMG
$converted_dir|$converted_dir\\KORVADIS.IMG
$converted_dir\\|$converted_dir\\KORVADIS.IMG
EOF_ROWS
    check_listing "already converted" "$work/dest"

    # Destination names, against a one-part set: accepted names are converted under
    # the name shown (checked byte for byte), refused ones end with exit code 2.
    image=(200K --marker 0:128K)
    make_set "$work/cd" "${image[@]}"
    make_expected "$work/expected" "${image[@]}"
    drive E "$work/cd"
    while IFS='|' read -r dest code shown file; do
        rm -rf "$work/dest" && mkdir -p "$work/dest/save" "$work/dest/my.dir"
        run "dest $dest" E: "$dest"
        if [ "$code" -eq 0 ]; then
            copy_transcript 'E:\KORVADIS' "$shown" 1
            expect "dest $dest" 0 "$TRANSCRIPT"
            check_listing "dest $dest" "$work/dest" "$file"
            cmp -s "$work/expected/disk.IMG" "$work/dest/$file" || fail "dest $dest: $file differs from the expected part"
        else
            expect "dest $dest" "$code" $'\n'"Invalid extension for file $shown"$'\n'
            check_listing "dest $dest" "$work/dest"
        fi
    done <<'EOF_ROWS'
D:\save\disk|0|D:\save\disk.IMG|save/disk.IMG
D:\save\disk.img|0|D:\save\disk.img|save/disk.img
D:\save\disk.Img|0|D:\save\disk.Img|save/disk.Img
D:\my.dir\disk|0|D:\my.dir\disk.IMG|my.dir/disk.IMG
D:\save\disk.bin|2|D:\save\disk.bin|
D:\save\disk.imgx|2|D:\save\disk.imgx|
D:/my.dir/disk|2|D:/my.dir/disk|
EOF_ROWS
    ;;

signatures)
    drive E "$work/cd"
    while IFS='|' read -r signature code text; do
        rm -rf "$work/cd"
        make_set "$work/cd" 64K --signature "$signature"
        run "signature $signature" E: 'D:\disk'
        printf -v text "$text"
        expect "signature $signature" "$code" "$text"
        check_listing "signature $signature" "$work/dest"
    done <<'EOF_ROWS'
IMG|0|\nE:\\KORVADIS.IMG is already an IMG file.\n
XYZ|9|\n\nFile signature check failed.\n
qrv|9|\n\nFile signature check failed.\n
img|9|\n\nFile signature check failed.\n
EOF_ROWS
    ;;

multipart)
    # Part sizes | end markers (part:offset) | the cut (part:offset), where part 0's header comes from
    drive E "$work/cd"
    while IFS='|' read -r sizes markers cut; do
        name="parts $sizes, markers $markers"
        rm -rf "$work/cd" "$work/dest" && mkdir -p "$work/dest"
        marker_args=()
        for marker in $markers; do marker_args+=(--marker "$marker"); done
        make_set "$work/cd" "$sizes" "${marker_args[@]}"
        make_expected "$work/expected" "$sizes" "${marker_args[@]}"
        [ "$END" = "$cut" ] || fail "$name: the image builder cuts at $END"
        run "$name" E: 'D:\disk'
        copy_transcript 'E:\KORVADIS' 'D:\disk.IMG' $(( ${cut%:*} + 1 ))
        expect "$name" 0 "$TRANSCRIPT"
        same_files "$name" "$work/expected" "$work/dest"
    done <<'EOF_ROWS'
200K|0:128K|0:131072
100000,204800,150000|2:66K|2:67584
131072,65536|0:4K 1:0|1:0
65536,0,98304|2:62K|2:63488
200K|0:68K 0:86K|0:88064
EOF_ROWS
    ;;

exit_codes)
    image=("100000,100000" --marker 1:64K)
    make_set "$work/disc1" "${image[@]}"
    rm "$work/disc1/KORVADIS.001"
    make_expected "$work/expected" "${image[@]}" --stop 0:100000
    mkdir -p "$work/empty"

    drive E "$work/empty"
    run "no part 0" E: 'D:\disk'
    expect "no part 0" 3 $'\nPlease insert disc for file E:\\KORVADIS.IMG and press enter.\n\nUnable to open E:\\KORVADIS.IMG\n'

    # A drive letter whose medium is missing answers the existence test without a dialog.
    drive E "$work/no-medium"
    run "no medium" E: 'D:\disk'
    expect "no medium" 3 $'\nPlease insert disc for file E:\\KORVADIS.IMG and press enter.\n\nUnable to open E:\\KORVADIS.IMG\n'
    check_listing "source missing" "$work/dest"

    drive E "$work/disc1"
    run "no part 1" E: 'D:\disk'
    expect "no part 1" 3 $'\n\nCopying file E:\\KORVADIS.IMG to D:\\disk.IMG...\nPlease insert disc for file E:\\KORVADIS.001 and press enter.\n\nUnable to open E:\\KORVADIS.001\n'
    same_files "no part 1: part 0 kept as copied" "$work/expected" "$work/dest"

    run "missing folder" E: 'D:\absent\disk'
    expect "missing folder" 5 $'\n\nCopying file E:\\KORVADIS.IMG to D:\\absent\\disk.IMG...\nUnable to open D:\\absent\\disk.IMG\n'

    # Without a console the overwrite question answers no.
    printf 'keep me' >"$work/dest/disk.IMG"
    run "existing destination" E: 'D:\disk'
    expect "existing destination" 1 $'Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? \n'
    [ "$(cat "$work/dest/disk.IMG")" = "keep me" ] || fail "existing destination: it was changed"
    ;;

*)
    echo "unknown group $group"
    exit 2
    ;;
esac

finish "all checks passed"
