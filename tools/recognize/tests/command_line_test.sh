#!/bin/sh
# Runs sumiro-recognize ($1) end to end on a tiny data set: one answer per line, in order,
# malformed lines answered with an error, bad arguments refused with status 2; and on the data
# the build made, as it finds them from the build tree.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
echo '[]' >"$dir/characters.json"
echo '[{"character":"十","strokes":[[[0,5],[9,5]],[[5,0],[5,9]]]},{"character":"一","strokes":[[[0,0],[9,0]]]}]' >"$dir/templates.json"

printf '%s\n' '{"id": "a", "strokes": [[[1, 50], [99, 50]], [[50, 1], [50, 99]]]}' '' 'oops' \
    '{"id": "b", "strokes": [[[0, 0], [10, 1]]]}' |
    "$tool" --resources "$dir" --limit 1 >"$dir/out"
sed 's/"us": [0-9]*/"us": N/' "$dir/out" >"$dir/got"
cat >"$dir/want" <<'END'
{"id": "a", "candidates": ["十"], "us": N}
{"id": null, "error": "expected a JSON object"}
{"id": "b", "candidates": ["一"], "us": N}
END
diff -u "$dir/want" "$dir/got"

status=0
"$tool" --limit -3 </dev/null 2>/dev/null || status=$?
test "$status" -eq 2
status=0
"$tool" --resources "$dir/missing" </dev/null 2>"$dir/err" || status=$?
test "$status" -eq 1
grep -q "missing/characters.json: No such file or directory" "$dir/err"
# Without --resources, a build tree's program reads the data built beside it.
echo '{"id": "t", "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]}' | "$tool" --limit 1 |
  grep -qF '"candidates": ["十"]'
