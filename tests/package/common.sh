# Shared by the package tests: failures, required tools, building the
# packages, the expected contents, running a 32-bit program.
#
# The tests that build packages take: BUILD_DIR SOURCE_DIR CPACK VERSION
# shellcheck shell=bash

failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Missing tools are a failure for root (CI installs them with scripts/deps
# test), a skip for anyone else.
need_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      [ "$(id -u)" = 0 ] && { echo "FAIL: $tool is not installed"; exit 1; }
      echo "SKIP: $tool is not installed"
      exit 77
    fi
  done
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
  fi
  echo "$*: all checks passed"
}

# A scratch directory, removed at the end.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# build_package GENERATOR OUT_DIR: runs cpack on the build tree, prints the
# package's path.
build_package() {
  local generator=$1 out=$2
  if ! "$cpack" --config "$build_dir/CPackConfig.cmake" -G "$generator" -B "$out" \
      >"$out.log" 2>&1; then
    cat "$out.log" >&2
    echo "FAIL: cpack -G $generator failed" >&2
    return 1
  fi
  local package
  package=$(find "$out" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.rpm' \) | head -n 1)
  [ -n "$package" ] || { echo "FAIL: cpack -G $generator built nothing" >&2; return 1; }
  echo "$package"
}

# expected_contents deb|rpm: the lines of packaging/contents that apply,
# sites expanded, sorted.
expected_contents() {
  local kind=$1 mode path rest site
  while read -r mode path rest; do
    case $mode in '#'* | '') continue ;; esac
    [ "$kind" = rpm ] && [[ $path == usr/share/lintian/* ]] && continue
    [ "$with_32" = 1 ] || [[ $path != *fcguard32* ]] || continue
    if [[ $path == *'/*.site' ]]; then
      for site in "$source_dir"/sim/sites/*.site; do
        echo "$mode ${path%/*}/${site##*/}"
      done
    else
      echo "$mode $path${rest:+ $rest}"
    fi
  done <"$source_dir/packaging/contents" | sort
}

# run PROGRAM ARG...: fcguard32 runs under qemu-i386 where the kernel
# refuses 32-bit programs.
run() {
  local program=$1
  shift
  "$program" "$@" 2>/dev/null
  local status=$?
  if [ "$status" = 126 ]; then
    local qemu
    for qemu in /usr/bin/qemu-i386 /usr/bin/qemu-i386-static; do
      if [ -x "$qemu" ]; then
        "$qemu" "$program" "$@"
        return
      fi
    done
  fi
  return "$status"
}

build_dir=${1:-}
source_dir=${2:-}
cpack=${3:-}
# shellcheck disable=SC2034  # read by the tests that source this file
version=${4:-}
with_32=0
[ -n "$build_dir" ] && [ -x "$build_dir/fcguard32" ] && with_32=1
