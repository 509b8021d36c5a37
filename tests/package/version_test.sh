#!/bin/bash
# The version is the project version everywhere: the programs' version and
# tool-info texts, the manual page, the changelog's latest entry and both
# packages.
#
#   version_test.sh BUILD_DIR SOURCE_DIR CPACK VERSION
set -u
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "project version '$version' has not four parts"
for program in fcguard fcguard32; do
  path="$build_dir/$program"
  [ -x "$path" ] || continue
  [ "$(run "$path" --version)" = "$version" ] || fail "$program --version: $(run "$path" --version)"
  [ "$(run "$path" --info)" = $'\n'"PRELIMINARY $program version $version" ] ||
    fail "$program --info: $(run "$path" --info)"
done
page="$build_dir/packaging/fcguard.8"
grep -q "^\.TH FCGUARD 8 [0-9-]* \"fcguard $version\"" "$page" || fail "manual page header: $(grep '^\.TH' "$page")"
grep -qx "\.BR $version \." "$page" || fail "manual page does not give --version as $version"
grep -q '@[A-Z_]*@' "$page" && fail "manual page keeps a placeholder: $(grep -o '@[A-Z_]*@' "$page" | head -n 1)"
replay_page="$build_dir/packaging/fcguard-replay.8"
grep -q "^\.TH FCGUARD.-REPLAY 8 [0-9-]* \"fcguard $version\"" "$replay_page" ||
  fail "fcguard-replay(8) header: $(grep '^\.TH' "$replay_page")"
head -n 1 "$source_dir/NEWS" | grep -qF "fcguard ($version)" || fail "NEWS starts with: $(head -n 1 "$source_dir/NEWS")"

if command -v dpkg-deb >/dev/null; then
  deb=$(build_package DEB "$scratch/deb") || exit 1
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Debian package version $(dpkg-deb -f "$deb" Version)"
fi
if command -v rpmbuild >/dev/null; then
  rpm_file=$(build_package RPM "$scratch/rpm") || exit 1
  [ "$(rpm -qp --queryformat '%{VERSION}' "$rpm_file" 2>/dev/null)" = "$version" ] ||
    fail "RPM version $(rpm -qp --queryformat '%{VERSION}' "$rpm_file")"
fi

finish "version $version"
