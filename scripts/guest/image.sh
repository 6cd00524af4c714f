#!/usr/bin/env bash
# Builds the 32-bit test machine: a small Debian 12 guest with 32-bit Wine and Xvfb, for
# QEMU's software emulation (these machines run no 32-bit program themselves).
# usage: image.sh DIR     writes DIR/disk.img, DIR/vmlinuz, DIR/initrd.img and DIR/ok
# Everything that decides what the image holds is in this file: its hash names the image.
set -eu
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
    apt-get install -y -qq --no-install-recommends wine wine32:i386 wine64 libc6:i386 fonts-wine xvfb xauth
    apt-get clean
    rm -rf /var/lib/apt/lists/*
' >"$WORK/chroot.log" 2>&1 || { tail -20 "$WORK/chroot.log"; exit 1; }
unbind

# The guest's init: mounts what a system needs, the host's folder at the same path as on
# the host (so that paths built into the test programs hold), runs the job named on the
# kernel's command line, and powers off whatever the job did.
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
modprobe 9pnet_virtio; modprobe 9p
mkdir -p "$SHARE"
# Without a cache for mmap, Wine maps programs from the share as pages of zeros.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=mmap share "$SHARE"
echo "pellmark-guest: running $JOB"
sh "$JOB"
echo "pellmark-guest: job ended with $?"
sync
echo o >/proc/sysrq-trigger
sleep 30
INIT
chmod +x "$ROOTFS/pellmark-init"
# The job for the first boot: the 32-bit Wine prefix, made once and kept in the image.
cat >"$ROOTFS/make-prefix.sh" <<'JOB'
export WINEPREFIX=/root/.wine32 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
Xvfb :9 -screen 0 1024x768x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
export DISPLAY=:9
sleep 2
wine wineboot -i >/tmp/wineboot.log 2>&1
wineserver -w
# Wine waits about 2 s per hidden window when no window manager runs.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>/tmp/wineboot.log 2>&1
wineserver -w
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
[ -f "$WINEPREFIX/system.reg" ] && touch /prefix.ok
cat /tmp/wineboot.log
JOB

cp "$ROOTFS"/boot/vmlinuz-* "$WORK/vmlinuz"
cp "$ROOTFS"/boot/initrd.img-* "$WORK/initrd.img"

echo "== disk image"
truncate -s 6G "$WORK/disk.img"
mkfs.ext4 -q -F -d "$ROOTFS" "$WORK/disk.img"
rm -rf "$ROOTFS"

echo "== first boot: the 32-bit Wine prefix"
SHARE=$(mktemp -d)
timeout 900 qemu-system-x86_64 -accel tcg,thread=multi,tb-size=512 -cpu max,-smap -smp 2 -m 3072 \
    -nographic -no-reboot -net none \
    -drive file="$WORK/disk.img",format=raw,if=virtio,cache=unsafe \
    -kernel "$WORK/vmlinuz" -initrd "$WORK/initrd.img" \
    -virtfs local,path="$SHARE",mount_tag=share,security_model=none,id=share \
    -append "root=/dev/vda rw init=/pellmark-init console=ttyS0 quiet panic=-1 pellmark.share=/mnt/share pellmark.job=/make-prefix.sh" \
    </dev/null >"$WORK/first-boot.log" 2>&1 || true
rmdir "$SHARE" 2>/dev/null
# The job left /prefix.ok in the image if the prefix was made.
if ! debugfs -R 'stat /prefix.ok' "$WORK/disk.img" 2>/dev/null | grep -q 'Type: regular'; then
    echo "the 32-bit Wine prefix was not made:"
    tail -30 "$WORK/first-boot.log"
    exit 1
fi

rm -rf "$DIR"
mv "$WORK" "$DIR"
touch "$DIR/ok"
echo "== image ready in $DIR"
