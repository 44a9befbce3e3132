#!/bin/sh
# Runs lupdate over the pad's sources into a copy of the English catalogue: every text must come
# out translated, and no translation may be left over from a text the pad no longer has.
# Usage: catalogue_test.sh TS_FILE LUPDATE [OPTION...] SOURCE...
set -eu
ts=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$ts" "$scratch/catalogue.ts"
"$@" -silent -ts "$scratch/catalogue.ts" >"$scratch/lupdate.log" 2>&1 ||
  { cat "$scratch/lupdate.log"; echo "FAIL: lupdate" >&2; exit 1; }
if grep -q 'type="\(unfinished\|vanished\|obsolete\)"' "$scratch/catalogue.ts"; then
  grep -B3 'type="\(unfinished\|vanished\|obsolete\)"' "$scratch/catalogue.ts" | grep '<source>'
  echo "FAIL: $ts lacks the texts above or still holds them (build update_translations)" >&2
  exit 1
fi
echo "$(grep -c '<source>' "$scratch/catalogue.ts") texts of the pad, every one translated"
