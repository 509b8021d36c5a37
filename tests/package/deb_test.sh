#!/bin/bash
# The Debian package: cpack builds it from the build tree; it holds exactly
# the files of packaging/contents, owned by root, and depends on bubblewrap
# only;
# lintian finds no error and no warning in it; its programs are stripped,
# static and run; and a second build of the same tree is the same bytes.
#
#   deb_test.sh BUILD_DIR SOURCE_DIR CPACK VERSION
set -u
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
need_tools dpkg-deb file gzip lintian readelf

deb=$(build_package DEB "$scratch/out") || exit 1
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "fcguard_${version}_${arch}.deb" ] || fail "package named $(basename "$deb")"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = fcguard ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = admin ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\.[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
[ "$(field Depends)" = bubblewrap ] || fail "Depends: $(field Depends)"
for relation in Pre-Depends Recommends; do
  [ -z "$(field "$relation")" ] || fail "$relation: $(field "$relation")"
done
ar t "$deb" | grep -qx data.tar.xz || fail "data not xz-compressed: $(ar t "$deb" | tr '\n' ' ')"

# Exactly these files, owned by root; directories 0755.
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {
           if ($2 != "root/root") print "owner", $2, $6
           sub("^\\./", "", $6); line = $1 " " $6
           for (i = 7; i <= NF; i++) line = line " " $i
           print line }' | sort)
expected=$(expected_contents deb)
[ "$listed" = "$expected" ] ||
  fail "package contents differ (< package, > expected):"$'\n'"$(diff <(echo "$listed") <(echo "$expected"))"
bad_dirs=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")')
[ -z "$bad_dirs" ] || fail "directories with other modes or owners:"$'\n'"$bad_dirs"

# The files as they were installed.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
doc="$root/usr/share/doc/fcguard"
cmp -s "$doc/examples/FC_HBA_Conditions.txt" "$source_dir/sim/sites/FC_HBA_Conditions.txt" ||
  fail "sample conditions file differs"
cmp -s "$root/usr/share/bash-completion/completions/fcguard" "$source_dir/completion/fcguard" ||
  fail "completion differs"
gzip -dc "$root/usr/share/man/man8/fcguard.8.gz" | cmp -s - "$build_dir/packaging/fcguard.8" ||
  fail "manual page is not the gzipped build/packaging/fcguard.8"
gzip -dc "$doc/changelog.gz" | cmp -s - "$source_dir/NEWS" || fail "changelog.gz is not NEWS"
gzip -dc "$doc/changelog.gz" | head -n 1 | grep -qF "fcguard ($version)" ||
  fail "the changelog's latest entry is not for $version"
# The copyright file: machine-readable, with LICENSE's text.
head -n 1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
  fail "copyright is not machine-readable: $(head -n 1 "$doc/copyright")"
grep -q '^License: Expat$' "$doc/copyright" || fail "copyright names no Expat (MIT) licence"
license_words=$(sed '1,/^Copyright/d' "$source_dir/LICENSE" | tr -s ' \n' '  ')
copyright_words=$(sed '1,/^License:/d; s/^ \.$//' "$doc/copyright" | tr -s ' \n' '  ')
[ "$license_words" = "$copyright_words" ] || fail "copyright's licence text is not LICENSE's"
gzip -dc "$root/usr/share/man/man8/fcguard-replay.8.gz" | cmp -s - "$build_dir/packaging/fcguard-replay.8" ||
  fail "manual page is not the gzipped build/packaging/fcguard-replay.8"
cmp -s "$root/usr/libexec/fcguard/sandbox" "$source_dir/sim/sandbox" || fail "sandbox differs"

# The programs: stripped, without .comment, static, and fcguard and
# fcguard32 run.
for path in "$root"/usr/sbin/fcguard "$root"/usr/sbin/fcguard32 "$root"/usr/sbin/fcguard-replay \
    "$root"/usr/libexec/fcguard/hbacmd-sim; do
  program=${path##*/}
  [ -e "$path" ] || continue
  description=$(file -b "$path")
  [[ $description == *", stripped"* ]] || fail "$program not stripped: $description"
  readelf -SW "$path" | grep -q '\.comment' && fail "$program keeps its .comment section"
  readelf -dW "$path" | grep -q NEEDED && fail "$program needs shared libraries"
  [ "$program" = hbacmd-sim ] && continue
  printed=$(run "$path" --version)
  status=$?
  [ "$status" = 0 ] && [ "$printed" = "$version" ] ||
    fail "$program --version: status $status, printed '$printed'"
done

# lintian, as strictly as it gets: no error, no warning.
lintian_out=$(lintian -EvIL +pedantic "$deb" 2>&1)
problems=$(grep -E '^[EW]: ' <<<"$lintian_out")
[ -z "$problems" ] || fail "lintian:"$'\n'"$problems"

# The same tree gives the same package.
again=$(build_package DEB "$scratch/again") || exit 1
cmp -s "$deb" "$again" || fail "a second build of the package differs"

finish "package $(basename "$deb")"
