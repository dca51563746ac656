#!/usr/bin/env bash
# Raw-disk fixture for the tests: a small NTFS image (mkntfs, mounted through
# ntfs-3g) or ext4 image (mkfs.ext4 on a loop device), mapped as a drive
# letter of the Wine prefix, so that a test can scan the image file for what
# must be gone. Needs root, /dev/fuse (NTFS) and loop devices (ext4).
#
#   raw_disk.sh check ntfs|ext4          exit 0, or print what is missing
#   raw_disk.sh make ntfs|ext4 DIR LETTER SIZE_MIB
#   raw_disk.sh unmount DIR LETTER       unmaps and unmounts; the image stays
#   raw_disk.sh remove DIR LETTER        unmounts and deletes everything
set -uo pipefail

kind=${2:-}

missing() {
  [ "$(id -u)" -eq 0 ] || { echo "not root"; return; }
  case "$kind" in
    ntfs)
      [ -c /dev/fuse ] || { echo "no /dev/fuse"; return; }
      command -v mkntfs >/dev/null || { echo "no mkntfs (package ntfs-3g)"; return; }
      command -v ntfs-3g >/dev/null || { echo "no ntfs-3g"; return; }
      ;;
    ext4)
      [ -e /dev/loop-control ] || { echo "no loop devices"; return; }
      command -v mkfs.ext4 >/dev/null || { echo "no mkfs.ext4"; return; }
      ;;
    *) echo "unknown kind '$kind'"; return ;;
  esac
}

drive_link() { echo "$WINEPREFIX/dosdevices/$(echo "$1" | tr 'A-Z' 'a-z'):"; }

unmount() {
  local dir=$1 letter=$2
  rm -f "$(drive_link "$letter")"
  if mountpoint -q "$dir/mnt"; then
    # Only this volume: a sync of every disk waits for whatever else the
    # machine is writing.
    sync -f "$dir/mnt" 2>/dev/null || sync
    fusermount -u "$dir/mnt" 2>/dev/null || umount "$dir/mnt"
  fi
}

case "${1:-}" in
  check)
    why=$(missing)
    [ -z "$why" ] || { echo "$why"; exit 1; }
    ;;
  make)
    dir=$3 letter=$4 size=$5
    why=$(missing)
    [ -z "$why" ] || { echo "$why"; exit 1; }
    # What a killed test left under the same name goes first.
    unmount "$dir" "$letter"
    rm -rf "$dir"
    mkdir -p "$dir/mnt"
    truncate -s "${size}M" "$dir/disk.img"
    if [ "$kind" = ntfs ]; then
      mkntfs -q -F -Q "$dir/disk.img" >/dev/null 2>&1 && ntfs-3g "$dir/disk.img" "$dir/mnt" || exit 1
    else
      mkfs.ext4 -q -F "$dir/disk.img" >/dev/null 2>&1 && mount -o loop "$dir/disk.img" "$dir/mnt" || exit 1
      chmod 777 "$dir/mnt"
      # ext4 keeps a pool of clusters (2 %) that no program may write, not
      # even root; a Windows volume has none. The stand-in gives it up.
      device=$(basename "$(findmnt -n -o SOURCE "$dir/mnt")")
      echo 0 > "/sys/fs/ext4/$device/reserved_clusters" 2>/dev/null || true
    fi
    ln -sfn "$dir/mnt" "$(drive_link "$letter")"
    ;;
  unmount)
    unmount "$2" "$3"
    ;;
  remove)
    unmount "$2" "$3"
    rm -rf "$2"
    ;;
  *)
    echo "usage: raw_disk.sh check|make|unmount|remove ..." >&2
    exit 2
    ;;
esac
