#!/bin/bash
# The Debian package on an older system: installed with dpkg -i into a
# minimal Debian 11 (glibc 2.31, as old as the enterprise distributions the
# adapters mostly run), both programs print their version and a check over
# a set of hbacmd reports ends with 0.
#
# The Debian 11 root is built once per machine (scripts/debian11-root) and
# never changed: each run installs into an overlay of it, in a private
# mount namespace that vanishes with the run.
#
#   debian11_test.sh BUILD_DIR SOURCE_DIR CPACK VERSION
set -u
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

if [ "$(id -u)" != 0 ]; then
  echo "SKIP: installing into a Debian 11 root needs root"
  exit 77
fi
need_tools debootstrap unshare chroot

if [ "${FCGUARD_DEBIAN11_INSIDE:-}" != 1 ]; then
  base=$("$source_dir/scripts/debian11-root") || { echo "FAIL: no Debian 11 root"; exit 1; }
  deb=$(build_package DEB "$scratch/out") || exit 1
  # The reports a run against the basic sample site leaves behind, and its
  # conditions file: fcguard --simulate reads them without running hbacmd.
  mkdir -p "$scratch/trial"
  "$build_dir/hbacmd-sim" generate-reports "$source_dir/sim/sites/cna-basic.site" "$scratch/trial" ||
    { echo "FAIL: cannot generate the reports"; exit 1; }
  cp "$source_dir/sim/sites/FC_HBA_Conditions.txt" "$scratch/trial/"
  FCGUARD_DEBIAN11_INSIDE=1 FCGUARD_DEBIAN11_BASE=$base FCGUARD_DEBIAN11_DEB=$deb \
    FCGUARD_DEBIAN11_SCRATCH=$scratch \
    exec unshare --mount --propagation private bash "$0" "$@"
fi

# Inside the namespace: the scratch directory is the one made before.
trap - EXIT
rm -rf "$scratch"
scratch=$FCGUARD_DEBIAN11_SCRATCH
root="$scratch/merged"
trap 'umount "$root" 2>/dev/null; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/upper" "$scratch/work" "$root"
mount -t overlay fcguard-debian11 \
  -o "lowerdir=$FCGUARD_DEBIAN11_BASE,upperdir=$scratch/upper,workdir=$scratch/work" "$root" ||
  { echo "FAIL: cannot mount an overlay of the Debian 11 root"; exit 1; }

libc=$(chroot "$root" getconf GNU_LIBC_VERSION)
[ "$libc" = "glibc 2.31" ] || fail "the root has $libc, not glibc 2.31"

cp "$FCGUARD_DEBIAN11_DEB" "$root/tmp/fcguard.deb"
# The root holds no bubblewrap, which only fcguard-replay needs: its
# dependency is not what this test is about.
if ! chroot "$root" dpkg --force-depends -i /tmp/fcguard.deb >"$scratch/dpkg.log" 2>&1; then
  cat "$scratch/dpkg.log"
  echo "FAIL: dpkg -i failed on Debian 11"
  exit 1
fi

# in_root PROGRAM ARG...: runs the installed program inside the root from
# /srv/trial.  Where the kernel refuses 32-bit programs, fcguard32 (static,
# so it needs nothing from the root) runs under the machine's qemu-i386.
in_root() {
  local program=$1
  shift
  chroot "$root" /bin/sh -c 'cd /srv/trial && exec "$@"' sh "$program" "$@" 2>/dev/null
  local status=$?
  if [ "$status" = 126 ] && [ -x /usr/bin/qemu-i386 ]; then
    (cd "$root/srv/trial" && /usr/bin/qemu-i386 "$root/usr/sbin/$program" "$@")
    status=$?
  fi
  return "$status"
}

mkdir -p "$root/srv/trial" "$root/usr/sbin/ocmanager"
cp "$scratch/trial"/* "$root/srv/trial/"
# fcguard looks for hbacmd before it reads the reports; under --simulate it
# never runs it.
printf '#!/bin/sh\necho "hbacmd must not run" >&2\nexit 99\n' >"$root/usr/sbin/ocmanager/hbacmd"
chmod 755 "$root/usr/sbin/ocmanager/hbacmd"
programs=(fcguard)
[ -e "$root/usr/sbin/fcguard32" ] && programs+=(fcguard32)
for program in "${programs[@]}"; do
  printed=$(in_root "$program" --version)
  status=$?
  [ "$status" = 0 ] && [ "$printed" = "$version" ] ||
    fail "$program --version on Debian 11: status $status, printed '$printed'"
  in_root "$program" --simulate -v 0 -pci-id 19A2:0714 >/dev/null
  status=$?
  [ "$status" = 0 ] || fail "$program --simulate check on Debian 11 ended with $status"
done

finish "Debian 11 ($libc): dpkg -i, ${programs[*]}"
