#!/bin/bash
# The return-code table as data: build/return-codes.json is valid JSON in
# value order, holds every "NAME value" that fcguard --show-return-codes
# lists (and 51, named "(none)"), and the README's exit-status table is
# made of its rows.
#
#   return_codes_test.sh SOURCE_DIR BUILD_DIR
set -u

source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
json=$build_dir/return-codes.json
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

[ -f "$json" ] || { echo "FAIL: $json not built"; exit 1; }
# The rows as "value<TAB>name<TAB>meaning", or nothing when the file is not
# an array of such objects in ascending value order.
rows=$(python3 -c '
import json, sys
rows = json.load(open(sys.argv[1]))
assert isinstance(rows, list) and rows
last = -1
for row in rows:
    assert sorted(row) == ["meaning", "name", "value"], row
    assert isinstance(row["value"], int) and row["value"] > last, row
    assert all(isinstance(row[k], str) and row[k] and "\t" not in row[k] and "\n" not in row[k]
               for k in ("name", "meaning")), row
    last = row["value"]
    print("%d\t%s\t%s" % (row["value"], row["name"], row["meaning"]))
' "$json") || fail "$json is not the table"

listed=$("$build_dir/fcguard" --show-return-codes | awk '/^ +RET_[A-Z_]+ +[0-9]+$/ { print $1, $2 }')
[ "$(wc -l <<<"$listed")" -ge 16 ] || fail "return-code listing not read: $listed"
in_json=$(awk -F '\t' '$2 != "(none)" { print $2, $1 }' <<<"$rows")
[ "$listed" = "$in_json" ] ||
  fail "the JSON and --show-return-codes differ (< listing, > JSON):"$'\n'"$(diff <(echo "$listed") <(echo "$in_json"))"
[ "$(awk -F '\t' '$2 == "(none)" { print $1 }' <<<"$rows")" = 51 ] ||
  fail "the only row without a name is not 51"

# The README table: the lines under its heading row.
readme=$(awk '/^\| Status \| Name \| Meaning \|$/ { table = 1; next }
              table && /^\|---/ { next }
              table && /^\|/ { print; next }
              table { exit }' "$source_dir/README.md")
made=$(awk -F '\t' '{ printf "| %s | %s | %s |\n", $1, $2, $3 }' <<<"$rows")
[ "$readme" = "$made" ] ||
  fail "README's exit-status table is not made from the JSON; its rows should read:"$'\n'"$made"

[ "$failures" = 0 ] || exit 1
echo "PASS"
