#!/usr/bin/env bash
# vesk-render's command line under Wine: a table of command lines with the
# exit status, messages and files each must give, then the checks that
# compare pictures, follow output as it comes, and answer the edit dialog.
# Arguments: wine-run, vesk-render.exe, vesk.dll, a scratch folder,
# press-dialog-button.exe (answers the edit dialog from outside), and the
# project's version.
set -u
wine_run=$1 program=$2 dll=$3 work=$4 presser=$5 version=$6
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
show_output() { sed 's/^/    /' out.txt; }

# Runs that bring no dialog end within seconds; a text without the mark
# would bring the plug-in's system-modal box, which nobody here can answer,
# so those rows get a short limit and a hang fails fast.
long_limit=120 short_limit=30

# A file as the checks name it: png (RGB), grey-png, bmp24, bmp8.
kind_of() {
    local magic
    magic=$(head -c 8 "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')
    if [ "$magic" = 89504e470d0a1a0a ]; then
        # IHDR's colour type: 2 RGB, 0 grey.
        case $(od -An -tu1 -j25 -N1 "$1" | tr -d ' ') in 2) echo png ;; 0) echo grey-png ;; *) echo other-png ;; esac
    elif [ "$(head -c 2 "$1")" = BM ]; then
        echo "bmp$(od -An -tu2 -j28 -N2 "$1" | tr -d ' ')"
    else
        echo "not-a-picture"
    fi
}

# check_file KIND:PATH, KIND one of kind_of's, "absent" (and no temporary
# beside it), "same" (PATH=OTHER, byte for byte) or "lines" (PATH is the
# number of lines the output has).
check_file() {
    local kind=${1%%:*} path=${1#*:} left
    case $kind in
    absent)
        left=$(ls -d "$path"* 2>/dev/null)
        [ -z "$left" ] || fail "$label: left behind: $left" ;;
    same)
        cmp -s "${path%%=*}" "${path#*=}" || fail "$label: ${path%%=*} and ${path#*=} differ" ;;
    lines)
        [ "$(wc -l <out.txt)" = "$path" ] || { fail "$label: $(wc -l <out.txt) lines of output, expected $path"; show_output; } ;;
    *)
        [ "$(kind_of "$path")" = "$kind" ] || fail "$label: $path is $(kind_of "$path"), expected $kind" ;;
    esac
}

# row LABEL STATUS PATTERNS FILES -- ARGS...: runs vesk-render ARGS (stdout
# and stderr in out.txt). PATTERNS: grep -E patterns separated by ";;", each
# one the output must hold ("!" first: must not hold). FILES: check_file's
# KIND:PATH items, separated by spaces.
row() {
    label=$1
    local expected=$2 patterns=$3 files=$4 limit=$long_limit previous= pattern item
    shift 4
    [ "$1" = -- ] && shift
    for arg in "$@"; do
        case $previous in --text | --from | --to) [ "${arg:0:1}" = "#" ] || limit=$short_limit ;; esac
        previous=$arg
    done
    timeout -k 10 "$limit" "$wine_run" "$program" "$@" >out.raw 2>&1
    local status=$?
    tr -d '\r' <out.raw >out.txt  # a Windows program's line ends
    if [ "$status" = 124 ]; then
        fail "$label: vesk-render $* did not end within $limit s"
    elif [ "$status" != "$expected" ]; then
        fail "$label: vesk-render $* exited $status, expected $expected"
        show_output
    fi
    while [ -n "$patterns" ]; do
        pattern=${patterns%%;;*}
        [ "$pattern" = "$patterns" ] && patterns= || patterns=${patterns#*;;}
        if [ "${pattern:0:1}" = "!" ]; then
            ! grep -qE -- "${pattern:1}" out.txt || { fail "$label: output holds '${pattern:1}'"; show_output; }
        else
            grep -qE -- "$pattern" out.txt || { fail "$label: output lacks '$pattern'"; show_output; }
        fi
    done
    for item in $files; do check_file "$item"; done
}

A='# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00'
B='# 0.60 1.50 1.00 0.30 0.40 250.00 240.00 200.00'
small=(--width 48 --height 36)
mkdir taken.png
# A bad argument: the message, one usage line, a pointer to --help; no C++ exception's words anywhere.
usage="^Usage: vesk-render;;--help' for the options;;!std::|terminate|what\(\)"

#   label                          status patterns                                     files          -- arguments
row "no arguments"                   2 "$usage;;name a subcommand"                     "lines:3"      --
row "no output"                      2 "$usage;;--output is required"                  "lines:3"      -- render "${small[@]}"
row "unknown scene"                  2 "$usage;;torus"                                 "absent:x.png" -- render --scene torus -o x.png
row "zero width"                     2 "$usage;;not in range"                          "absent:x.png" -- render --width 0 -o x.png
row "colour out of range"            2 "$usage;;R,G,B"                                 ""             -- render --surface 300,0,0 -o x.png
row "one frame"                      2 "$usage;;--frames"                              ""             -- morph --to "$B" --frames 1
row "unknown subcommand"             2 "$usage;;unknown subcommand 'paint'"            "lines:3"      -- paint
row "misspelt option"                2 "$usage;;unknown option '--widht' \(did you mean '--width'\?\)" "lines:3 absent:x.png" \
                                                                                                      -- --dll "$dll" render --widht 40 -o x.png
row "misspelt subcommand"            2 "unknown subcommand 'rendr' \(did you mean 'render'\?\)" ""    -- rendr -o x.png
row "help names --dll"               0 "^Usage: vesk-render render \[OPTIONS\];;--dll;;--mask" ""     -- render --help
row "version"                        0 "^vesk-render $version\$;;^vesk.dll $version\.0 \(.*vesk\.dll\)" "" -- --dll "$dll" --version
row "version after the subcommand"   0 "^vesk-render $version\$"                        ""             -- render --dll "$dll" --version
row "version of a missing DLL"       1 "^vesk-render $version\$;;not found: pass --dll PATH" ""       -- --dll missing-vesk.dll --version

# The plug-in: named when missing, its failure in words.
echo "not a DLL" >fake.dll
row "missing DLL"                    1 "cannot load the plug-in: 'missing-vesk.dll' not found: pass --dll PATH" "absent:x.png" \
                                                                                                      -- --dll missing-vesk.dll render -o x.png
row "not a DLL"                      1 "cannot load the plug-in 'fake.dll': [A-Za-z][^(]* \(error [0-9]+\)" "absent:x.png" \
                                                                                                      -- --dll fake.dll render -o x.png
row "a DLL without the exports"      1 "_ExternalTextureStartup"                       "absent:x.png" -- --dll kernel32.dll render -o x.png
row "--dll after the subcommand"     0 "^after.png: 48x36"                             "png:after.png" -- render --dll "$dll" "${small[@]}" -o after.png
row "--dll on both sides"            1 "not found: pass --dll PATH"                    "absent:x.png" -- --dll "$dll" render --dll missing-vesk.dll -o x.png

# Parameter texts: checked before the plug-in sees them.
row "text without the mark"          2 "$usage;;--text must start with '#'"            "lines:3 absent:x.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" --text '1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00' -o x.png
row "empty text"                     2 "--text must start with '#'"                    "absent:x.png" -- --dll "$dll" render "${small[@]}" --text '' -o x.png
row "a word for a text"              2 "--text must start with '#'.*\"hello\""        "absent:x.png" -- --dll "$dll" render "${small[@]}" --text hello -o x.png
row "morph from without the mark"    2 "--from must start with '#'"                    "absent:frame-000.png" \
                                                                                                      -- --dll "$dll" morph "${small[@]}" --from '1.00 1.00' --to "$B" --prefix frame
row "morph to without the mark"      2 "--to must start with '#'"                      "absent:frame-000.png" \
                                                                                                      -- --dll "$dll" morph "${small[@]}" --to '2.00 1.00 1.00 0.30' --prefix frame
row "edit text without the mark"     2 "--text must start with '#'"                    ""             -- --dll "$dll" edit --text '1.00 2.00'
row "decimal commas"                 0 "warning: --text: fields 2-8 \(YScale to blue\) keep their values and field 1 \(XScale\) reads as 1: \"1,00\" has a decimal comma \(write 1.00\)" \
                                                                                         "png:comma.png" -- --dll "$dll" render "${small[@]}" --text '# 1,00 1,00 1,00 0,40 0,20 235,00 225,00 200,00' -o comma.png
row "beyond the float range"         0 "warning: --text: fields 1-8 \(XScale to blue\) keep their values: \"1e39\" is beyond the float range" \
                                                                                         "png:huge.png" -- --dll "$dll" render "${small[@]}" --text '# 1e39 1 1 0.5 0.2 1 2 3' -o huge.png
row "not a number"                   0 "warning: --text: fields 4-8 \(Threshold to blue\) keep their values: \"abc\" is not a number" \
                                                                                         ""             -- --dll "$dll" render "${small[@]}" --text '# 1 1 1 abc' -o word.png
row "a short text"                   0 "warning: --to: fields 3-8 \(ZScale to blue\) keep their values: the text ends after field 2 \(YScale\)" \
                                                                                         ""             -- --dll "$dll" morph "${small[@]}" --to '# 2 1' --frames 2 --prefix short
row "a full text brings no warning"  0 "!warning"                                      "same:comma.png=default.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" --text "$A" -o default.png

# Outputs: the format from the extension, every one checked before any work.
row "PNG"                            0 "^x.png: 48x36, [0-9]+ pixels in the full stain; mask: x-mask.png" "png:x.png grey-png:x-mask.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o x.png --mask x-mask.png
row "BMP"                            0 "^x.bmp: 48x36"                                 "bmp24:x.bmp bmp8:x-mask.bmp" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o x.bmp --mask x-mask.bmp
row "extension in capitals"          0 ""                                              "png:upper.PNG" -- --dll "$dll" render "${small[@]}" -o upper.PNG
row "--bmp with a BMP name"          0 ""                                              "bmp24:alias.bmp same:alias.bmp=x.bmp" \
                                                                                                      -- --dll "$dll" render "${small[@]}" --bmp -o alias.bmp
row "--bmp with a PNG name"          2 "$usage;;--bmp writes BMP, but -o 'x2.png' names a PNG" "absent:x2.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" --bmp -o x2.png
row "JPEG"                           2 "$usage;;-o 'x.jpg': the format comes from the extension, .png or .bmp" "absent:x.jpg" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o x.jpg
row "no extension"                   2 "the format comes from the extension"           "absent:picture" -- --dll "$dll" render "${small[@]}" -o picture
row "JPEG sheet"                     2 "--sheet 'm.jpg': the format"                   "absent:m-000.png" \
                                                                                                      -- --dll "$dll" morph "${small[@]}" --to "$B" --prefix m --sheet m.jpg
row "the same path twice"            2 "$usage;;-o and --mask both name"               "absent:twice.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o twice.png --mask twice.png
row "the same file, spelt otherwise" 2 "both name"                                     "absent:twice.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o twice.png --mask ./TWICE.png
row "a sheet that is a frame"        2 "--sheet 'f-001.png' is also one of the frames" "absent:f-000.png" \
                                                                                                      -- --dll "$dll" morph "${small[@]}" --to "$B" --frames 3 --prefix f --sheet f-001.png
row "a missing folder"               1 "cannot write 'no-such-folder/x.png': the folder 'no-such-folder/' does not exist" "absent:no-such-folder" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o no-such-folder/x.png
# Found before rendering: the picture, which comes first, is not written either.
row "a missing folder for the mask"  1 "no-such-folder/' does not exist"               "absent:good.png absent:no-such-folder" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o good.png --mask no-such-folder/mask.png
row "a missing folder for the sheet" 1 "does not exist"                                "absent:g-000.png" \
                                                                                                      -- --dll "$dll" morph "${small[@]}" --to "$B" --prefix g --sheet no-such-folder/s.png
row "an output that is a folder"     1 "cannot write 'taken.png': it is a folder"      "absent:taken.png.tmp" \
                                                                                                      -- --dll "$dll" render "${small[@]}" -o taken.png
[ -d taken.png ] && [ -z "$(ls taken.png)" ] || fail "taken.png is no longer an empty folder"

# Sizes beyond a 32-bit process: refused before any work, with the largest that fits.
fits="the largest of that shape that fits is [0-9]+ x [0-9]+;;!std::|bad_alloc|length_error"
row "a picture too large"            1 "pictures of 16384 x 16384 need more memory than this 32-bit process has;;$fits" "absent:big.png" \
                                                                                                      -- --dll "$dll" render --width 16384 --height 16384 -o big.png
row "tiles too large"                1 "tiles of 16384 x 9000 need more memory;;$fits" "absent:big.png" \
                                                                                                      -- --dll "$dll" sheet --width 16384 --height 9000 -o big.png
row "frames and sheet too large"    1 "frames of 4000 x 4000 need more memory;;$fits" "absent:big-000.png" \
                                                                                                      -- --dll "$dll" morph --width 4000 --height 4000 --to "$B" --prefix big --sheet big-sheet.png

# Threads: the same picture for any count; 0 is every core.
row "one thread"                     0 "" "" -- --dll "$dll" render "${small[@]}" --threads 1 -o one.png --mask one-mask.png
row "one thread again"               0 "" "same:one.png=again.png" -- --dll "$dll" render "${small[@]}" --threads 1 -o again.png
row "three threads"                  0 "" "same:one.png=three.png same:one-mask.png=three-mask.png" \
                                                                                                      -- --dll "$dll" render "${small[@]}" --threads 3 -o three.png --mask three-mask.png
row "every core"                     0 "" "same:one.png=every.png"                     -- --dll "$dll" render "${small[@]}" --threads 0 -o every.png
cmp -s one.png one-mask.png && fail "the mask is the picture itself"
# A 24-bit BMP: 54 header bytes and 48 * 36 * 3 pixel bytes (rows already 4-byte multiples).
[ "$(stat -c %s x.bmp)" = $((54 + 48 * 36 * 3)) ] || fail "x.bmp has $(stat -c %s x.bmp) bytes"
# The 8-bit mask: a 256-grey palette after the header, a byte a pixel.
[ "$(stat -c %s x-mask.bmp)" = $((54 + 1024 + 48 * 36)) ] || fail "x-mask.bmp has $(stat -c %s x-mask.bmp) bytes"

# Morph: the first frame is the first text, the last the second.
label=morph
row "first text"                     0 "" "" -- --dll "$dll" render "${small[@]}" --text "$A" -o first.png
row "second text"                    0 "" "" -- --dll "$dll" render "${small[@]}" --text "$B" -o second.png
row "morph"                          0 "^frame-002.png \(weight 0.000\);;^sheet.png: contact sheet of 3 frames" \
                                       "same:frame-000.png=first.png same:frame-002.png=second.png png:sheet.png" \
                                       -- --dll "$dll" morph "${small[@]}" --from "$A" --to "$B" --frames 3 --prefix frame --sheet sheet.png
cmp -s frame-001.png first.png && fail "the middle frame equals the first"
cmp -s frame-001.png second.png && fail "the middle frame equals the last"
# Fields the first text leaves out start every frame from the defaults, not
# from what the last frame's blend left in the plug-in.
row "a short first text"             0 "" "" -- --dll "$dll" morph "${small[@]}" --from '# 1.00 1.00 1.00 0.30' --to "$B" --frames 4 --prefix partial
row "the same text in full"          0 "" "same:partial-002.png=full-002.png same:partial-003.png=full-003.png" \
                                       -- --dll "$dll" morph "${small[@]}" --from '# 1.00 1.00 1.00 0.30 0.20 120.00 128.00 128.00' --to "$B" --frames 4 --prefix full

# Progress: past a second, every ten per cent to 100 %, then each file being written.
progress_order() {
    local what=$1 file=$2 hundred writing
    hundred=$(grep -n "^$what: 100%\$" out.txt | head -1 | cut -d: -f1)
    writing=$(grep -n "^$what: writing $file\$" out.txt | head -1 | cut -d: -f1)
    [ -n "$hundred" ] && [ -n "$writing" ] && [ "$hundred" -lt "$writing" ] || { fail "$what: no 100 % before 'writing $file'"; show_output; }
}
row "sheet progress"                 0 "^sheet: [0-9]+%" "png:progress-sheet.png" -- --dll "$dll" sheet --width 1200 --height 900 --threads 1 -o progress-sheet.png
progress_order sheet progress-sheet.png
row "morph progress"                 0 "^morph: [0-9]+%" "" -- --dll "$dll" morph --width 1600 --height 1200 --threads 1 --frames 8 --to "$B" --prefix progress --sheet progress-morph.png
progress_order morph progress-morph.png
rm -f progress*

# Through wine-run, progress arrives while the program still runs.
"$wine_run" "$program" --dll "$dll" render --width 5000 --height 5000 --threads 1 -o stream.png >stream.txt 2>&1 &
runner=$!
for _ in $(seq 600); do grep -qE '^render: [0-9]+%' stream.txt && break; sleep 0.1; done
if ! grep -qE '^render: [0-9]+%' stream.txt; then
    fail "no progress within a minute"
elif ! kill -0 "$runner" 2>/dev/null; then
    fail "the progress came only once the program had ended"
fi
wait "$runner" || fail "the long render failed"
tr -d '\r' <stream.txt >out.txt && progress_order render stream.png
rm -f stream.png

# Edit: the plug-in's dialog opens on the text; what comes back, and the
# allocator's account. edit ANSWER... -- ARGS...: press-dialog-button runs
# vesk-render edit ARGS and answers its dialog; output in out.txt.
edit() {
    local answer=()
    while [ "$1" != -- ]; do answer+=("$1"); shift; done
    shift
    "$wine_run" "$presser" "Vesk 0.15 " "${answer[@]}" -- "$program" --dll "$dll" edit "$@" >out.raw 2>&1
    local status=$?
    tr -d '\r' <out.raw >out.txt
    [ "$status" = 0 ] || { fail "edit ${answer[*]} -- $* exited $status"; show_output; }
}
expect_output() {
    grep -q -- "$1" out.txt || { fail "output lacks '$1'"; show_output; }
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
