#!/usr/bin/env bash
# The release zip: made twice from the same build, byte for byte the same;
# it holds what a renderer user needs, its checksums hold, and the guide's
# pictures and links all resolve inside it.
# Arguments: the source folder, the windows build folder, a scratch folder.
set -u
source=$1 build=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version=$(head -n1 "$source/VERSION")
name=vesk-$version-win32
for run in one two; do
  VESK_PACKAGE_BUILD=$build VESK_PACKAGE_OUT=$work/$run bash "$source/scripts/package" >"$work/$run.log" 2>&1 ||
    { fail "scripts/package ($run) failed"; sed 's/^/    /' "$work/$run.log"; }
done
zip=$work/one/$name.zip
[ -f "$zip" ] || { echo "FAIL: no $name.zip"; exit 1; }
cmp -s "$zip" "$work/two/$name.zip" || fail "two packages of one build differ"

mkdir "$work/unpacked" && (cd "$work/unpacked" && unzip -q "$zip") || fail "the zip does not unpack"
top=$work/unpacked/$name
for file in vesk.dll vesk-render.exe user-guide.html LICENSE SHA256SUMS; do
  [ -s "$top/$file" ] || fail "$file missing"
done
[ "$(ls "$work/unpacked")" = "$name" ] || fail "the zip holds more than its one folder: $(ls "$work/unpacked")"
cmp -s "$top/vesk.dll" "$build/vesk.dll" || fail "the zip's vesk.dll is not the tested one"
grep -q "MIT License" "$top/LICENSE" || fail "LICENSE is not the MIT licence"
(cd "$top" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not hold"
listed=$(cut -d' ' -f3 "$top/SHA256SUMS" | LC_ALL=C sort)
present=$(cd "$top" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS does not list exactly the files"

# Every picture and every in-page link of the guide resolves.
pictures=$(grep -o '<img [^>]*src="[^"]*"' "$top/user-guide.html" | sed 's/.*src="//; s/"$//')
[ "$(wc -w <<<"$pictures")" -ge 20 ] || fail "the guide shows only $(wc -w <<<"$pictures") pictures"
for picture in $pictures; do [ -s "$top/$picture" ] || fail "the guide's picture $picture is missing"; done
for anchor in $(grep -o 'href="#[^"]*"' "$top/user-guide.html" | sed 's/href="#//; s/"$//' | sort -u); do
  grep -q "id=\"$anchor\"" "$top/user-guide.html" || fail "the guide links to #$anchor, which is nowhere"
done
grep -q "Vesk $version" "$top/user-guide.html" || fail "the guide does not name version $version"

if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "package checks passed: $zip ($(stat -c %s "$zip") bytes)"
