#!/usr/bin/env bash
# Fails when the scene and the preview, taken together, need any symbol from
# elsewhere but memcpy and memset: vesk.dll links them with no C runtime, no
# libstdc++ and no libm, so a maths call, an allocation, a thrown exception or
# a guarded static would be left unresolved there.
# Usage: check-no-library-calls.sh NM OBJECT...
set -euo pipefail
nm=$1
shift
(($# > 0)) || { echo "no objects to check"; exit 1; }
defined=$("$nm" --defined-only "$@" | awk 'NF == 3 {print $3}' | sort -u)
undefined=$("$nm" -u "$@" | awk 'NF == 2 {print $2}' | sort -u)
needed=$(comm -23 <(echo "$undefined") <(echo "$defined") | grep -v '^$' || true)
bad=0
for symbol in $needed; do
  case $symbol in
    _memcpy | _memset | memcpy | memset) ;;
    *) echo "needs $symbol"; bad=1 ;;
  esac
done
echo "$# objects; from elsewhere:" ${needed:-nothing}
exit $bad
