#!/bin/bash
# The Debian package: cpack builds it from the build tree; it holds exactly
# the installed files, with their modes and root ownership; its control
# fields are right and its dependencies computed; and the programs it holds
# run.
#
#   deb_test.sh BUILD_DIR SOURCE_DIR CPACK WITH_32
#
# WITH_32 is 1 when the build has fcguard32.
set -u

build_dir=$1
source_dir=$2
cpack=$3
with_32=$4
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Missing tools are a failure for root (CI installs them with
# scripts/deps test), a skip for anyone else.
for tool in dpkg-deb dpkg-shlibdeps file gzip; do
  if ! command -v "$tool" >/dev/null; then
    [ "$(id -u)" = 0 ] && { echo "FAIL: $tool is not installed"; exit 1; }
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Build the package outside the build tree.
if ! "$cpack" --config "$build_dir/CPackConfig.cmake" -G DEB -B "$scratch/out" \
    >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack failed"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb="$scratch/out/fcguard_1.2.0.1_${arch}.deb"
[ -f "$deb" ] || { ls -l "$scratch/out"; echo "FAIL: $deb not built"; exit 1; }

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = fcguard ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.2.0.1 ] || fail "Version: $(field Version)"
[ "$(field Section)" = admin ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
[[ ", $depends," =~ ,\ libc6[\ ,] ]] || fail "Depends does not name libc6: '$depends'"

# Exactly these files, with these modes, owned by root.
expected="-rwxr-xr-x root/root ./usr/sbin/fcguard
-rwxr-xr-x root/root ./usr/libexec/fcguard/fcguard-replay
-rwxr-xr-x root/root ./usr/libexec/fcguard/hbacmd-sim
-rwxr-xr-x root/root ./usr/libexec/fcguard/sandbox
-rw-r--r-- root/root ./usr/share/man/man8/fcguard-replay.8.gz
-rw-r--r-- root/root ./usr/share/bash-completion/completions/fcguard
-rw-r--r-- root/root ./usr/share/doc/fcguard/examples/FC_HBA_Conditions.txt
-rw-r--r-- root/root ./usr/share/man/man8/fcguard.8.gz"
[ "$with_32" = 1 ] &&
  expected+=$'\n'"-rwxr-xr-x root/root ./usr/sbin/fcguard32"
for site in "$source_dir"/sim/sites/*.site; do
  expected+=$'\n'"-rw-r--r-- root/root ./usr/share/doc/fcguard/examples/sites/${site##*/}"
done
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)
expected=$(sort <<<"$expected")
if [ "$listed" != "$expected" ]; then
  fail "package contents differ (< package, > expected):"$'\n'"$(diff <(echo "$listed") <(echo "$expected"))"
fi
bad_dirs=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")')
[ -z "$bad_dirs" ] || fail "directories with other modes or owners:"$'\n'"$bad_dirs"

# The files as they were installed.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
cmp -s "$root/usr/share/doc/fcguard/examples/FC_HBA_Conditions.txt" \
  "$source_dir/sim/sites/FC_HBA_Conditions.txt" || fail "sample conditions file differs"
cmp -s "$root/usr/share/bash-completion/completions/fcguard" \
  "$source_dir/completion/fcguard" || fail "completion differs"
for page in fcguard fcguard-replay; do
  gzip -dc "$root/usr/share/man/man8/$page.8.gz" | cmp -s - "$source_dir/doc/$page.8" ||
    fail "manual page is not the gzipped doc/$page.8"
done
for script in fcguard-replay sandbox; do
  cmp -s "$root/usr/libexec/fcguard/$script" "$source_dir/sim/$script" || fail "$script differs"
done

# The programs: stripped, and they run.  fcguard32 runs under qemu-i386
# where the kernel refuses 32-bit programs.
run() {
  local program=$1
  shift
  "$program" "$@" 2>/dev/null
  local status=$?
  if [ "$status" = 126 ] && [ -x /usr/bin/qemu-i386 ]; then
    /usr/bin/qemu-i386 "$program" "$@"
    status=$?
  fi
  return "$status"
}
for program in fcguard fcguard32; do
  path="$root/usr/sbin/$program"
  [ -e "$path" ] || continue
  description=$(file -b "$path")
  [[ $description == *", stripped"* ]] || fail "$program not stripped: $description"
  version=$(run "$path" --version)
  status=$?
  [ "$status" = 0 ] && [ "$version" = 1.2.0.1 ] ||
    fail "$program --version: status $status, printed '$version'"
done

# The dependencies must be right for both programs.  A static fcguard32
# needs no 32-bit library; a dynamic one needs libc6-i386.
if [ -e "$root/usr/sbin/fcguard32" ]; then
  if file -b "$root/usr/sbin/fcguard32" | grep -q 'static'; then
    [[ $depends != *lib32* && $depends != *i386* ]] ||
      fail "Depends names 32-bit libraries for a static fcguard32: '$depends'"
  else
    [[ $depends == *libc6-i386* ]] || fail "Depends lacks libc6-i386: '$depends'"
  fi
fi

# dpkg -i on a clean system: every package depended on must already be
# there.  apt is part of every Debian installation, so whatever apt depends
# on is there too.
apt_depends=$(dpkg-query -W -f='${Depends}' apt 2>/dev/null)
if [ -n "$apt_depends" ]; then
  IFS=',' read -r -a entries <<<"$depends"
  for entry in "${entries[@]}"; do
    name=$(awk '{ print $1 }' <<<"$entry")
    [[ ", $apt_depends," =~ ,\ "$name"[\ ,] ]] ||
      fail "Depends names $name, which a clean system may lack"
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "package $(basename "$deb"): all checks passed (Depends: $depends)"
