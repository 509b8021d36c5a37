#!/bin/bash
# Runs command blocks, in order, as root in a throwaway copy of this
# machine: an overlay of / whose changes live in a tmpfs and vanish with
# the private mount namespace this script runs in (started by the README
# and Ansible tests through unshare); only what is written below KEEP (the
# real directory, bound into the copy) stays.  The hbacmd simulator answers at
# /opt/emulex/ocmanager/bin/hbacmd there, and a real /usr/sbin/ocmanager
# is covered, so no real hbacmd is ever reached.  Each block runs in a
# fresh "bash -e -o pipefail" in DIR with a root login's PATH.
#
#   throwaway_root.sh [--keep KEEP] LAYERS DIR SIMULATOR SITE BLOCK...
set -eu
keep=""
if [ "$1" = --keep ]; then
  keep=$2
  shift 2
fi
layers=$1 dir=$2 sim=$3 site=$4
shift 4

mount -t tmpfs fcguard-readme "$layers"
mkdir "$layers/upper" "$layers/work" "$layers/root"
root=$layers/root
mount -t overlay fcguard-readme \
  -o "lowerdir=/,upperdir=$layers/upper,workdir=$layers/work" "$root"
for d in proc sys dev; do
  mount --rbind "/$d" "$root/$d"
done
# The overlay of / holds only the file system of /: a directory the blocks
# need that lies on another one (a tmpfs /tmp, a separate /home) gets a
# throwaway overlay of its own at the same place.
n=0
for path in "$dir" "$@" ${site:+"$site"}; do
  [ -d "$path" ] || path=$(dirname "$path")
  if [ "$(stat -c %d "$path")" != "$(stat -c %d /)" ] && ! mountpoint -q "$root$path"; then
    n=$((n + 1))
    mkdir -p "$layers/$n/upper" "$layers/$n/work" "$root$path"
    mount -t overlay fcguard-readme \
      -o "lowerdir=$path,upperdir=$layers/$n/upper,workdir=$layers/$n/work" "$root$path"
  fi
done
if [ -n "$keep" ]; then
  mkdir -p "$root$keep"
  mount --bind "$keep" "$root$keep"
fi
if [ -d "$root/usr/sbin/ocmanager" ]; then
  mount -t tmpfs -o mode=755 fcguard-readme "$root/usr/sbin/ocmanager"
fi
mkdir -p "$root/opt/emulex/ocmanager/bin"
cp "$sim" "$root/opt/emulex/ocmanager/bin/hbacmd"

for block in "$@"; do
  printf '== %s\n' "$block"
  sed 's/^/   /' "$block"
  # shellcheck disable=SC2016
  if ! chroot "$root" /bin/sh -c 'cd "$1" && exec /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HBACMD_SIM_SITE="$3" /bin/bash -e -o pipefail "$2"' - "$dir" "$block" "$site"; then
    printf 'FAILED: the block above\n'
    exit 1
  fi
done
