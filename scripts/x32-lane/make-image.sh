#!/usr/bin/env bash
# Makes the 32-bit lane's guest once, under build/x32-lane/ (kept; a stamp
# says which version of this recipe made it, so a changed recipe makes it
# again): a Debian 12 root from Debian's packages (debootstrap, then apt in
# a chroot) with what the Windows tests need at run time (Wine with its
# 32-bit side, Xvfb, the zh_CN locale and fonts, ctest, Python, osslsigncode
# and openssl for the tests that sign a setup), its kernel
# and initrd, and an ext4 image of it. Compilers stay on the host: the host
# builds, the guest only runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
lane=$root/build/x32-lane
recipe=1
packages=(wine wine32:i386 wine64 xvfb x11-utils imagemagick locales fonts-wqy-microhei cmake python3 sqlite3 file
  procps iproute2 osslsigncode openssl)
stamp="$recipe $(sha1sum <"$root/scripts/x32-lane/guest-init") ${packages[*]}"
if [[ -f $lane/image.stamp && $(cat "$lane/image.stamp") == "$stamp" && -f $lane/image.ext4 ]]; then
  exit 0
fi

need=()
command -v debootstrap >/dev/null || need+=(debootstrap)
command -v qemu-system-x86_64 >/dev/null || need+=(qemu-system-x86)
command -v mkfs.ext4 >/dev/null || need+=(e2fsprogs)
if ((${#need[@]})); then
  echo "x32-lane: installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

# The mirror the host's apt uses.
mirror=$({ grep -rhsoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ || true; } |
  grep -oE 'https?://[^ ]+' | head -n 1 || true)
mirror=${mirror:-http://deb.debian.org/debian}

rm -rf "$lane/root" "$lane/image.ext4" "$lane/image.stamp"
mkdir -p "$lane"
cleanup() {
  for m in dev/pts dev proc; do mountpoint -q "$lane/root/$m" 2>/dev/null && umount "$lane/root/$m"; done
  return 0
}
trap cleanup EXIT

start=$SECONDS
echo "x32-lane: debootstrap bookworm from $mirror"
# A second try: a download that breaks off once should not cost the lane.
for try in 1 2; do
  if debootstrap --variant=minbase --include=linux-image-amd64,systemd-sysv,udev,kmod bookworm "$lane/root" "$mirror" \
    >"$lane/debootstrap.log" 2>&1; then
    break
  fi
  if ((try == 2)); then
    tail -n 20 "$lane/debootstrap.log"
    exit 1
  fi
  echo "x32-lane: debootstrap failed; trying once more"
  rm -rf "$lane/root"
done
echo "x32-lane: root made in $((SECONDS - start)) s"

start=$SECONDS
mount -t proc proc "$lane/root/proc"
mount --bind /dev "$lane/root/dev"
mount --bind /dev/pts "$lane/root/dev/pts"
echo 'APT::Install-Recommends "false";' >"$lane/root/etc/apt/apt.conf.d/99no-recommends"
chroot "$lane/root" /bin/sh -c "export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386 && apt-get update -qq &&
  { apt-get install -y -qq ${packages[*]} >/dev/null || apt-get install -y -qq ${packages[*]} >/dev/null; } &&
  sed -i 's/^# *\\(zh_CN.UTF-8 UTF-8\\)/\\1/' /etc/locale.gen && locale-gen >/dev/null && apt-get clean" \
  >"$lane/chroot.log" 2>&1 || { tail -n 20 "$lane/chroot.log"; exit 1; }
cleanup
echo "x32-lane: packages installed in $((SECONDS - start)) s"

start=$SECONDS
install -m 755 "$root/scripts/x32-lane/guest-init" "$lane/root/qrn-guest-init"
cp "$lane"/root/boot/vmlinuz-* "$lane/vmlinuz"
cp "$lane"/root/boot/initrd.img-* "$lane/initrd.img"
mkfs.ext4 -q -F -d "$lane/root" "$lane/image.ext4" 8G
rm -rf "$lane/root"
echo "$stamp" >"$lane/image.stamp"
echo "x32-lane: image made in $((SECONDS - start)) s"
