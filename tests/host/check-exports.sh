#!/usr/bin/env bash
# Fails when vesk.dll's export table is not exactly the renderer's five entry
# points, or when it imports anything beyond Windows' own DLLs.
set -euo pipefail
dll=$1
dump=$(i686-w64-mingw32-objdump -p "$dll")

grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$dll")" || { echo "not an i386 PE file: $dll"; exit 1; }

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF; next} on{on=0}' <<<"$dump" | sort)
expected=$(printf '%s\n' _ExternalTextureClose _ExternalTextureMorph _ExternalTextureProcedure \
                           _ExternalTextureStartup _SetExternalParameters | sort)
if [ "$exports" != "$expected" ]; then
  echo "exports differ from the five entry points:"; diff <(echo "$expected") <(echo "$exports") || true; exit 1
fi
grep -q 'DLL Name: vesk.dll' <<<"$dump" || grep -q 'Name.*vesk.dll' <<<"$dump" || { echo "export table does not name vesk.dll"; exit 1; }

system='^(kernel32|user32|gdi32|comdlg32|msvcrt)\.dll$'
bad=0
while read -r name; do
  lower=$(tr 'A-Z' 'a-z' <<<"$name")
  [[ $lower =~ $system ]] || { echo "non-system import: $name"; bad=1; }
done < <(awk '/^[[:space:]]*DLL Name:/{print $3}' <<<"$dump")
[ $bad = 0 ] || exit 1
echo "exports: $(tr '\n' ' ' <<<"$exports")"
echo "imports: $(awk '/^[[:space:]]*DLL Name:/{printf "%s ", $3}' <<<"$dump")"
