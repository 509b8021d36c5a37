#!/bin/bash
# The bash completion: what it offers, and that every option it offers is
# one the program accepts.
#
#   completion_test.sh SOURCE_DIR BUILD_DIR
set -u

source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# shellcheck source=../../completion/fcguard
source "$source_dir/completion/fcguard" || { echo "FAIL: cannot source"; exit 1; }

# Completes the last word of the command line given as words; prints the
# offers sorted, one line.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _fcguard "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
  local want=$1
  shift
  local got
  got=$(offers "$@")
  [ "$got" = "$want" ] || fail "'$*': offered '$got', expected '$want'"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/conf" "$scratch/conf2/sub" "$scratch/other dir"
touch "$scratch/config.txt"
cd "$scratch" || exit 1

# Options by their beginning, for both programs.
expect "--check-for-valid-subsystem --conpath --ctrl-vendor-wide-identical --ctrl-wide-identical" fcguard --c
expect "-subdev -subvid" fcguard -s
expect "--dov-mode" fcguard32 --dov
expect "-v -vid -vn" fcguard -pci-id 19A2:0714 -v
# No operands; no options after an option that takes a value.
expect "" fcguard x
expect "" fcguard -pci-id ""
expect "" fcguard -v ""
expect "" fcguard -vn Em
# Directories after --conpath, relative ones only.
expect "conf conf2" fcguard --conpath con
expect "conf conf2 other dir" fcguard -v 2 --conpath ""
expect "" fcguard --conpath /
expect "" fcguard --conpath /tm
expect "" fcguard --conpath '~'

complete -p fcguard32 >/dev/null 2>&1 || fail "fcguard32 has no completion"

# Every offered option is accepted: followed by --help, the run ends with 0,
# while a refused word ends with 3 before the help is reached.
program="$build_dir/fcguard"
if [ -x "$program" ]; then
  read -r -a all <<<"$(offers fcguard -)"
  [ "${#all[@]}" -ge 20 ] || fail "only ${#all[@]} options offered"
  for option in "${all[@]}"; do
    case $option in
      -v | -d) value=(1) ;;
      -pci-id) value=(19A2:0714) ;;
      -vid | -dev | -subvid | -subdev) value=(19A2) ;;
      -vn | -mod) value=(Emulex) ;;
      --conpath) value=(conf) ;;
      *) value=() ;;
    esac
    "$program" "$option" "${value[@]}" --help >/dev/null 2>&1
    status=$?
    [ "$status" = 0 ] || fail "fcguard $option ${value[*]} --help ended with $status"
  done
  "$program" -sr --help >/dev/null 2>&1
  [ $? = 3 ] || fail "a refused word does not end with 3"
else
  fail "$program not built"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "completion: all checks passed"
