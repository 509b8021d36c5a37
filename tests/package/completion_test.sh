#!/bin/bash
# The bash completion: what it offers, that every option it offers is one
# the program accepts, and that bash-completion loads it by either name in
# a fresh interactive shell.
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
expect "0 1 2 3 4 5 6" fcguard -v ""
expect "0 1 2 3 4 5 6" fcguard32 -d ""
expect "3" fcguard -pci-id 19A2:0714 -v 3
expect "" fcguard -v 7
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

# fcguard-replay: its options, the formats and statuses, capture
# directories as operands, and fcguard's own completion after "--"; every
# option it offers is one its usage names.
# shellcheck source=../../completion/fcguard-replay
source "$source_dir/completion/fcguard-replay" || fail "cannot source the fcguard-replay completion"
replay_offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _fcguard_replay "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
replay_expect() {
  local want=$1
  shift
  local got
  got=$(replay_offers "$@")
  [ "$got" = "$want" ] || fail "'$*': offered '$got', expected '$want'"
}
replay_expect "--fcguard --format" fcguard-replay --f
replay_expect "json jsonl" fcguard-replay --format j
replay_expect "conf conf2" fcguard-replay con
replay_expect "--conpath" fcguard-replay conf -- --conp
if [ -x "$build_dir/fcguard-replay" ]; then
  usage=$("$build_dir/fcguard-replay" --help)
  for option in $(replay_offers fcguard-replay --); do
    [ "$option" = -- ] && continue
    [[ $usage == *"$option"* ]] || fail "fcguard-replay offers $option, which its usage does not name"
  done
fi

# The loader: a fresh interactive bash with bash-completion knows no
# completion for either name until the first <TAB>, which loads the
# installed file by the command's name; then --<TAB> offers the options.
loader=/usr/share/bash-completion/bash_completion
if [ -r "$loader" ]; then
  if cmake --install "$build_dir" --prefix "$scratch/usr" >/dev/null; then
    cat >"$scratch/bashrc" <<RC
source $loader
RC
    names=(fcguard)
    [ -e "$scratch/usr/sbin/fcguard32" ] && names+=(fcguard32)
    for name in "${names[@]}"; do
      # What readline does on <TAB> after "NAME --": the default completion
      # (bash-completion's loader) for a command without one, then the
      # command's own.
      got=$(cd "$scratch" && XDG_DATA_DIRS="$scratch/usr/share" HOME="$scratch" \
        bash --rcfile "$scratch/bashrc" -i -c '
          name=$1
          complete -p "$name" >/dev/null 2>&1 && { echo "loaded before the first TAB"; exit; }
          read -r -a default <<<"$(complete -p -D)"
          loader=${default[-2]}
          COMP_WORDS=("$name" --); COMP_CWORD=1; COMP_LINE="$name --"; COMP_POINT=${#COMP_LINE}
          "$loader" "$name" -- "$name"
          [ $? = 124 ] || { echo "the loader found nothing"; exit; }
          read -r -a words <<<"$(complete -p "$name")"
          function=${words[-2]}
          COMPREPLY=(); "$function" "$name" -- "$name"
          printf "%s
" "${COMPREPLY[@]}" | sort | tr "
" " "
          COMP_WORDS=("$name" -v ""); COMP_CWORD=2; COMPREPLY=(); "$function" "$name" "" -v
          printf "| %s" "${COMPREPLY[*]}"' bash "$name" 2>/dev/null)
      want="--check-for-valid-subsystem --conpath --ctrl-vendor-wide-identical --ctrl-wide-identical --dov-mode --flash --help --info --show-return-codes --silent --simulate --version | 0 1 2 3 4 5 6"
      [ "$got" = "$want" ] || fail "fresh bash -i, '$name --<TAB>' and '$name -v <TAB>': '$got', expected '$want'"
    done
  else
    fail "cmake --install failed"
  fi
elif [ "$(id -u)" = 0 ]; then
  fail "bash-completion is not installed"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "completion: all checks passed"
