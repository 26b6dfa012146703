#!/usr/bin/env bash
# vesk-render's command line under Wine: exit codes, messages, files left
# behind, and pictures that must match byte for byte.
# Arguments: wine-run, vesk-render.exe, vesk.dll, a scratch folder, and
# press-dialog-button.exe, which answers the edit dialog from outside.
set -u
wine_run=$1 program=$2 dll=$3 work=$4 presser=$5
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run EXPECTED-STATUS ARGS...: runs the program, keeps its output in out.txt.
run() {
    local expected=$1
    shift
    "$wine_run" "$program" "$@" >out.txt 2>&1
    local status=$?
    if [ "$status" != "$expected" ]; then
        fail "vesk-render $* exited $status, expected $expected"
        sed 's/^/    /' out.txt
    fi
}

expect_output() {
    grep -q -- "$1" out.txt || { fail "output lacks '$1'"; sed 's/^/    /' out.txt; }
}

same_file() {
    cmp -s "$1" "$2" || fail "$1 and $2 differ"
}

no_trace_of() {
    # Neither the file nor a temporary beside it may remain.
    local left
    left=$(ls -d "$1"* 2>/dev/null)
    [ -z "$left" ] || fail "left behind: $left"
}

A='# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00'
B='# 0.60 1.50 1.00 0.30 0.40 250.00 240.00 200.00'
small=(--width 48 --height 36)

# Bad arguments: a usage message and exit 2.
run 2
expect_output "Usage"
run 2 render "${small[@]}"
expect_output "output"
run 2 render --scene torus -o x.png
run 2 render --width 0 -o x.png
run 2 render --surface 300,0,0 -o x.png
run 2 morph --to "$B" --frames 1
run 2 paint
run 0 render --help
expect_output "--mask"
no_trace_of x.png

# A missing DLL or export is named; exit 1.
run 1 --dll missing-vesk.dll render -o x.png
expect_output "missing-vesk.dll"
run 1 --dll kernel32.dll render -o x.png
expect_output "_ExternalTextureStartup"
no_trace_of x.png

# An output that cannot be written leaves nothing behind.
run 1 --dll "$dll" render "${small[@]}" -o no-such-folder/x.png
expect_output "no-such-folder"
[ -e no-such-folder ] && fail "no-such-folder appeared"
mkdir taken.png
run 1 --dll "$dll" render "${small[@]}" -o taken.png
[ -d taken.png ] && [ -z "$(ls taken.png)" ] || fail "taken.png is no longer an empty folder"
no_trace_of taken.png.tmp
run 1 --dll "$dll" render "${small[@]}" -o good.png --mask no-such-folder/mask.png
no_trace_of no-such-folder

# The same arguments give the same picture, for any thread count.
run 0 --dll "$dll" render "${small[@]}" --threads 1 -o one.png --mask one-mask.png
run 0 --dll "$dll" render "${small[@]}" --threads 1 -o again.png
run 0 --dll "$dll" render "${small[@]}" --threads 3 -o three.png --mask three-mask.png
same_file one.png again.png
same_file one.png three.png
same_file one-mask.png three-mask.png
[ "$(head -c 8 one.png | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "one.png is not a PNG"
cmp -s one.png one-mask.png && fail "the mask is the picture itself"

# A 24-bit BMP: "BM", 54 header bytes and 48 * 36 * 3 pixel bytes (rows already 4-byte multiples).
run 0 --dll "$dll" render "${small[@]}" --bmp -o one.bmp
[ "$(head -c 2 one.bmp)" = BM ] || fail "one.bmp is not a BMP"
[ "$(stat -c %s one.bmp)" = $((54 + 48 * 36 * 3)) ] || fail "one.bmp has $(stat -c %s one.bmp) bytes"
[ "$(od -An -tu2 -j28 -N2 one.bmp | tr -d ' ')" = 24 ] || fail "one.bmp is not 24-bit"

# Morph: the first frame is the first text, the last the second.
run 0 --dll "$dll" render "${small[@]}" --text "$A" -o first.png
run 0 --dll "$dll" render "${small[@]}" --text "$B" -o second.png
run 0 --dll "$dll" morph "${small[@]}" --from "$A" --to "$B" --frames 3 --prefix frame --sheet sheet.png
same_file frame-000.png first.png
same_file frame-002.png second.png
cmp -s frame-001.png first.png && fail "the middle frame equals the first"
cmp -s frame-001.png second.png && fail "the middle frame equals the last"
[ -s sheet.png ] || fail "no contact sheet"

# Edit: the plug-in's dialog opens on the text; what comes back, and the
# allocator's account. edit ANSWER... -- ARGS...: press-dialog-button runs
# vesk-render edit ARGS and answers its dialog; output in out.txt.
edit() {
    local answer=()
    while [ "$1" != -- ]; do answer+=("$1"); shift; done
    shift
    "$wine_run" "$presser" "Vesk 0.15 " "${answer[@]}" -- "$program" --dll "$dll" edit "$@" >out.txt 2>&1
    local status=$?
    [ "$status" = 0 ] || { fail "edit ${answer[*]} -- $* exited $status"; sed 's/^/    /' out.txt; }
}
fields="101,102,103,109,121"

edit ok --show "$fields" 101=2.5 -- --text "$A"
expect_output "field 101: 1.00"
expect_output "field 121: 0.20"
expect_output "text: # 2.50 1.00 1.00 0.50 0.20 120.00 128.00 128.00"
expect_output "allocated 1 blocks (48 bytes) and released 1 blocks (48 bytes)"
expect_output "leaks: 0 blocks"

edit cancel --show "$fields" 101=7 -- --text "$B"
expect_output "field 102: 1.50"
expect_output "text: $B"
expect_output "allocated 0 blocks (0 bytes) and released 0 blocks (0 bytes)"
expect_output "leaks: 0 blocks"

# No text: the dialog opens on the defaults; Cancel hands back nothing.
edit cancel --show "$fields" --
expect_output "field 109: 0.50"
expect_output "text: (null)"
expect_output "allocated 0 blocks"

if [ "$failures" -ne 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "all command-line checks passed"
