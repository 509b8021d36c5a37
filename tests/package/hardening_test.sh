#!/bin/bash
# The programs run as root: each must be a static PIE (no interpreter, no
# NEEDED entry, runs on Linux 3.2 and later), with read-only relocations
# and immediate binding, a stack that cannot execute, the stack protector
# and fortified C library calls; where it carries debug information, every
# unit of its own was compiled with the stack protector, stack clash and
# control-flow protection.
#
#   hardening_test.sh PROGRAM...
set -u
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
need_tools readelf nm

[ $# -gt 0 ] || { echo "FAIL: no program given"; exit 1; }
for program in "$@"; do
  name=$(basename "$program")
  [ -f "$program" ] || { fail "$name not built"; continue; }
  header=$(readelf -hW "$program")
  dynamic=$(readelf -dW "$program")
  segments=$(readelf -lW "$program")

  grep -q 'Type: *DYN' <<<"$header" || fail "$name is not position independent: $(grep Type: <<<"$header")"
  grep -q 'FLAGS_1.*PIE' <<<"$dynamic" || fail "$name has no PIE flag"
  grep -q 'INTERP' <<<"$segments" && fail "$name has a program interpreter (not static)"
  grep -q 'NEEDED' <<<"$dynamic" && fail "$name needs shared libraries:"$'\n'"$(grep NEEDED <<<"$dynamic")"
  grep -Eq '\(FLAGS\).*BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$name is not linked with -z now (no BIND_NOW)"
  grep -q 'GNU_RELRO' <<<"$segments" || fail "$name has no GNU_RELRO segment"
  grep -E 'GNU_STACK' <<<"$segments" | grep -q 'RWE' && fail "$name has an executable stack"
  abi=$(readelf -nW "$program" | sed -n 's/.*OS: Linux, ABI: //p')
  [ -n "$abi" ] && [ "$(printf '%s\n' "$abi" 3.2.0 | sort -V | tail -n 1)" = 3.2.0 ] ||
    fail "$name needs Linux ${abi:-(unknown)}, more than 3.2"

  symbols=$(nm "$program" 2>/dev/null)
  [ -n "$symbols" ] || { fail "$name has no symbol table to check (test the unstripped build)"; continue; }
  grep -q ' __stack_chk_fail$' <<<"$symbols" || fail "$name has no stack protector (__stack_chk_fail)"
  # The program formats every message with the printf family: fortified,
  # those calls go to their _chk variants, which the C library alone never
  # pulls in.
  grep -Eq ' T __v?[fs]?n?printf_chk$' <<<"$symbols" ||
    fail "$name calls no fortified function (no __*printf_chk): not built with _FORTIFY_SOURCE"

  producers=$(readelf --debug-dump=info -W "$program" 2>/dev/null |
                sed -n 's/.*DW_AT_producer.*: \(GNU C++.*\)/\1/p' | sort -u)
  if [ -n "$producers" ]; then
    for flag in -fstack-protector-strong -fstack-clash-protection -fcf-protection -fPIE; do
      missing=$(grep -v -e "$flag\( \|=\|$\)" <<<"$producers")
      [ -z "$missing" ] || fail "$name has units compiled without $flag:"$'\n'"$missing"
    done
  fi
done

finish "hardening of $*"
