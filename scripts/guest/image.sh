#!/usr/bin/env bash
# Builds the 32-bit test machine: a small Debian 12 guest with 32-bit Wine and Xvfb, for
# QEMU's software emulation (these machines run no 32-bit program themselves).
# usage: image.sh DIR     writes DIR/disk.img, DIR/vmlinuz, DIR/initrd.img and DIR/ok
# What decides what the image holds is in this file, setup.sh and ../wine-env.sh: their hash
# names it.
set -eu
. "$(dirname "$0")/../common.sh"
. "$(dirname "$0")/boot.sh"
mkdir -p "$BUILD"
DIR=$1
WORK=$DIR.work
ROOTFS=$WORK/root
rm -rf "$WORK"
mkdir -p "$WORK"

unbind() {
    for m in dev/pts dev sys proc; do
        mountpoint -q "$ROOTFS/$m" 2>/dev/null && umount -l "$ROOTFS/$m"
    done
    return 0
}
trap unbind EXIT

# The mirror the machine itself uses.
MIRROR=$(grep -h -E '^(URIs:|deb) ' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null |
    grep -o -E 'https?://[^ ]+' | grep -E '/debian/?$' | head -1)
MIRROR=${MIRROR:-http://deb.debian.org/debian}

echo "== debootstrap from $MIRROR"
debootstrap --variant=minbase --include=linux-image-amd64,initramfs-tools,kmod,udev,procps \
    bookworm "$ROOTFS" "$MIRROR" >"$WORK/debootstrap.log" 2>&1 || { tail -20 "$WORK/debootstrap.log"; exit 1; }

echo "== 32-bit Wine in the guest"
for m in proc sys dev dev/pts; do
    mkdir -p "$ROOTFS/$m"
    mount --bind "/$m" "$ROOTFS/$m"
done
chroot "$ROOTFS" /bin/sh -e -c '
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends wine wine32:i386 wine64 libc6:i386 fonts-wine xvfb xauth xdotool hyperfine
    apt-get clean
    rm -rf /var/lib/apt/lists/*
' >"$WORK/chroot.log" 2>&1 || { tail -20 "$WORK/chroot.log"; exit 1; }
unbind

# The guest's init: mounts what a system needs, the host's folder at the same path as on
# the host (so that paths built into the test programs hold), runs the job named on the
# kernel's command line after the set-up that bootGuest puts beside it, and powers off
# whatever the job did.
cat >"$ROOTFS/pellmark-init" <<'INIT'
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
# The initramfs has moved /proc, /sys and /dev here already; mount what it has not.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /dev/shm
hostname pellmark-guest
ip link set lo up 2>/dev/null
for arg in $(cat /proc/cmdline); do
    case $arg in
    pellmark.share=*) SHARE=${arg#pellmark.share=} ;;
    pellmark.job=*) JOB=${arg#pellmark.job=} ;;
    esac
done
export SHARE JOB
modprobe 9pnet_virtio; modprobe 9p
mkdir -p "$SHARE"
# Through the page cache: without it (or with cache=mmap) Wine maps a program on the share as
# pages of zeros, and it crashes at its first instruction; with cache=loose it runs (measured,
# December 2026). The host changes nothing on the share while the guest runs.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=loose share "$SHARE"
echo "pellmark-guest: running $JOB"
sh -c '. "$SHARE/pellmark-setup.sh" && . "$JOB"'
echo "pellmark-guest: job ended with $?"
sync
echo o >/proc/sysrq-trigger
sleep 30
INIT
chmod +x "$ROOTFS/pellmark-init"

cp "$ROOTFS"/boot/vmlinuz-* "$WORK/vmlinuz"
cp "$ROOTFS"/boot/initrd.img-* "$WORK/initrd.img"

echo "== disk image"
truncate -s 6G "$WORK/disk.img"
mkfs.ext4 -q -F -d "$ROOTFS" "$WORK/disk.img"
rm -rf "$ROOTFS"

echo "== first boot: the 32-bit Wine prefix"
cat >"$BUILD/make-prefix.sh" <<'JOB'
startDisplay
makePrefix
[ -f "$WINEPREFIX/system.reg" ] && touch /prefix.ok
cat /tmp/wineboot.log
JOB
GUEST=$WORK GUEST_WRITE=1 bootGuest 900 "$BUILD/make-prefix.sh" || true
# The job left /prefix.ok in the image if the prefix was made.
if ! debugfs -R 'stat /prefix.ok' "$WORK/disk.img" 2>/dev/null | grep -q 'Type: regular'; then
    echo "the 32-bit Wine prefix was not made:"
    tail -30 "$BUILD/guest-boot.log"
    exit 1
fi

rm -rf "$DIR"
mv "$WORK" "$DIR"
touch "$DIR/ok"
echo "== image ready in $DIR"
