#!/bin/bash
# The RPM package: cpack -G RPM builds fcguard-VERSION-RELEASE.ARCH.rpm with
# real metadata; it is not relocatable, owns exactly the files of
# packaging/contents and its own directories, and none of the system's;
# it installs into a scratch root, where the installed fcguard runs; and a
# second build of the same tree is the same bytes.
#
#   rpm_test.sh BUILD_DIR SOURCE_DIR CPACK VERSION
set -u
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
need_tools rpm rpmbuild

rpm_file=$(build_package RPM "$scratch/out") || exit 1
[[ $(basename "$rpm_file") =~ ^fcguard-${version//./\\.}-[0-9]+\.x86_64\.rpm$ ]] ||
  fail "package named $(basename "$rpm_file")"

# Metadata.
query() { rpm -qp --queryformat "$1" "$rpm_file" 2>/dev/null; }
[ "$(query '%{NAME}')" = fcguard ] || fail "Name: $(query '%{NAME}')"
[ "$(query '%{VERSION}')" = "$version" ] || fail "Version: $(query '%{VERSION}')"
[ "$(query '%{LICENSE}')" = MIT ] || fail "License: $(query '%{LICENSE}')"
[ "$(query '%{GROUP}')" = "Applications/System" ] || fail "Group: $(query '%{GROUP}')"
[[ $(query '%{URL}') == https://* ]] || fail "URL: $(query '%{URL}')"
[[ $(query '%{SUMMARY}') == *"converged network adapters"* ]] || fail "Summary: $(query '%{SUMMARY}')"
[[ $(query '%{DESCRIPTION}') == "fcguard is run by installation frameworks"* ]] ||
  fail "Description: $(query '%{DESCRIPTION}')"
[ -z "$(query '[%{PREFIXES}]')" ] || fail "relocatable, prefixes: $(query '[%{PREFIXES} ]')"
requires=$(rpm -qp --requires "$rpm_file" 2>/dev/null | grep -v '^rpmlib(')
[ "$requires" = bubblewrap ] || fail "requires: $requires"

# Its files, and of the directories only those under a name of its own.
listed=$(rpm -qp --queryformat '[%{FILEMODES:perms} %{FILENAMES}\n]' "$rpm_file" 2>/dev/null |
           awk '$1 !~ /^d/ { sub("^/", "", $2); print $1, $2 }' | sort)
expected=$(expected_contents rpm | sed 's/ -> .*//')
[ "$listed" = "$expected" ] ||
  fail "package files differ (< package, > expected):"$'\n'"$(diff <(echo "$listed") <(echo "$expected"))"
dirs=$(rpm -qp --queryformat '[%{FILEMODES:perms} %{FILENAMES}\n]' "$rpm_file" 2>/dev/null |
       awk '$1 ~ /^d/ { print $2 }')
[ -n "$dirs" ] || fail "owns not even its documentation directory"
for dir in $dirs; do
  [[ $dir == */fcguard || $dir == */fcguard/* ]] || fail "owns the directory $dir"
done

# Installed into a scratch root, the program runs from there.
root="$scratch/root"
rpm --root "$root" --initdb || fail "rpm --initdb failed"
if rpm --root "$root" -i --nodeps "$rpm_file" >"$scratch/install.log" 2>&1; then
  printed=$(run "$root/usr/sbin/fcguard" --version)
  status=$?
  [ "$status" = 0 ] && [ "$printed" = "$version" ] ||
    fail "installed fcguard --version: status $status, printed '$printed'"
  [ "$(rpm --root "$root" -qf /usr/sbin/fcguard 2>/dev/null)" = "$(query '%{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}')" ] ||
    fail "the installed program belongs to no package"
else
  fail "rpm -i failed: $(cat "$scratch/install.log")"
fi

# The same tree gives the same package.
again=$(build_package RPM "$scratch/again") || exit 1
cmp -s "$rpm_file" "$again" || fail "a second build of the package differs"

finish "package $(basename "$rpm_file")"
