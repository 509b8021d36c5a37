#!/bin/bash
# The manual page fcguard(8): it renders without a single warning; it
# documents what the program and the completion actually have: every
# return code of the program's own table with its name, and every option
# that the completion offers; and installed, man and whatis find it under
# both names once man-db has taken in the new files, as it does when a
# package is installed (no index rebuild).
#
#   manpage_test.sh SOURCE_DIR BUILD_DIR
set -u

source_dir=$1
build_dir=$2
page="$build_dir/packaging/fcguard.8"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Missing tools are a failure for root (CI installs them with
# scripts/deps test), a skip for anyone else.
if ! command -v groff >/dev/null; then
  [ "$(id -u)" = 0 ] && { echo "FAIL: groff is not installed"; exit 1; }
  echo "SKIP: groff is not installed"
  exit 77
fi

# Rendering: any output of groff's warnings is a failure.  man-db renders
# the page the way users see it, at the common terminal width (the way
# lintian checks manual pages), and whatis/apropos must find the NAME line.
renders_cleanly() {
  local file=$1 name out
  name=$(basename "$file")
  out=$(groff -man -ww -z "$file" 2>&1)
  [ -z "$out" ] || fail "groff -man -ww -z warns on $name:"$'\n'"$out"
  if command -v man >/dev/null; then
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man --warnings warns on $name:"$'\n'"$out"
    out=$(lexgrog "$file" 2>&1) || fail "lexgrog cannot parse the NAME section of $name: $out"
  fi
}

renders_cleanly "$page"

# Exit status: each "RET_NAME  code" of fcguard --show-return-codes is
# documented as ".B code" followed by "RET_NAME:".
documented=$(awk '/^\.B [0-9]+$/ { code = $2; next }
                  code != "" && /^RET_[A-Z_]+:/ { sub(":.*", ""); print $0, code }
                  { code = "" }' "$page" | sort)
program="$build_dir/fcguard"
if [ -x "$program" ]; then
  table=$("$program" --show-return-codes | awk '/^ +RET_[A-Z_]+ +[0-9]+$/ { print $1, $2 }' | sort)
  [ "$(wc -l <<<"$table")" -ge 16 ] || fail "return-code table not read: $table"
  missing=$(comm -23 <(echo "$table") <(echo "$documented"))
  [ -z "$missing" ] || fail "return codes not documented as in the program:"$'\n'"$missing"
else
  fail "$program not built"
fi
# The two statuses outside the table.
for code in 1 51; do
  grep -q "^\.B $code\$" "$page" || fail "status $code not documented"
done

# Options: every option the completion offers is described.
# shellcheck source=../../completion/fcguard
source "$source_dir/completion/fcguard"
COMP_WORDS=(fcguard -)
COMP_CWORD=1
_fcguard fcguard - fcguard
for option in "${COMPREPLY[@]}"; do
  escaped=${option//-/\\-}
  grep -qF -- "$escaped" "$page" || fail "option $option not in the manual page"
done

# fcguard-replay(8): it renders without a warning too, and describes every
# option of the program's usage.
replay_page="$build_dir/packaging/fcguard-replay.8"
renders_cleanly "$replay_page"
options=$("$build_dir/fcguard-replay" --help | grep -o -- '--[a-z]\+' | sort -u)
[ -n "$options" ] || fail "fcguard-replay --help names no option"
for option in $options; do
  grep -qF -- "${option//-/\\-}" "$replay_page" || fail "option $option not in fcguard-replay.8"
done

# Both names, installed.
if command -v mandb >/dev/null; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  if cmake --install "$build_dir" --prefix "$scratch/usr" >/dev/null; then
    manpath="$scratch/usr/share/man"
    programs=(fcguard)
    [ -e "$scratch/usr/sbin/fcguard32" ] && programs+=(fcguard32)
    for name in "${programs[@]}"; do
      man -M "$manpath" -w "$name" >/dev/null 2>&1 || fail "man $name finds no page"
      man -M "$manpath" "$name" 2>/dev/null | grep -q '^NAME' || fail "man $name shows no page"
    done
    # What dpkg's man-db trigger runs after an installation.
    mandb -pq "$manpath" >/dev/null 2>&1
    for name in "${programs[@]}"; do
      whatis -M "$manpath" "$name" 2>/dev/null | grep -q "^$name (8) *- check the storage" ||
        fail "whatis $name: $(whatis -M "$manpath" "$name" 2>&1)"
    done
  else
    fail "cmake --install failed"
  fi
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "manual page: all checks passed"
