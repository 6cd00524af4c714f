# The 32-bit guest, for scripts that source this after common.sh: its image, made once per
# recipe and kept outside the work tree (a fresh clone on the same machine finds it again),
# and one boot of it that runs a job.

GUEST_PACKAGES="qemu-system-x86 debootstrap e2fsprogs"
GUEST_CACHE=${PELLMARK_GUEST_CACHE:-/var/cache/pellmark}

# Sets GUEST to the image for the current recipe, building it if there is none.
guestImage() {
    local hash
    hash=$(sha256sum "$ROOT/scripts/guest/image.sh" | cut -c1-16)
    GUEST=$GUEST_CACHE/guest-$hash
    [ -f "$GUEST/ok" ] && return 0
    log "building the 32-bit guest image (once for this recipe: about 5 minutes)"
    mkdir -p "$GUEST_CACHE"
    # Images of older recipes are of no more use.
    rm -rf "$GUEST_CACHE"/guest-*
    "$ROOT/scripts/guest/image.sh" "$GUEST" >"$BUILD/guest-image.log" 2>&1 || {
        tail -30 "$BUILD/guest-image.log" >&2
        return 1
    }
}

# bootGuest SECONDS JOB [MEMORY_MIB]: boots the image with BUILD shared at its own path and
# runs the shell script JOB (a path in BUILD) there, leaving the disk image as it was.
# Fails when the guest has not powered off within SECONDS.
bootGuest() {
    local secs=$1 job=$2 mem=${3:-3072}
    timeout "$secs" qemu-system-x86_64 -accel tcg,thread=multi,tb-size=512 -cpu max,-smap -smp 2 -m "$mem" \
        -nographic -no-reboot -net none -snapshot \
        -drive file="$GUEST/disk.img",format=raw,if=virtio,cache=unsafe \
        -kernel "$GUEST/vmlinuz" -initrd "$GUEST/initrd.img" \
        -virtfs local,path="$BUILD",mount_tag=share,security_model=none,id=share \
        -append "root=/dev/vda rw init=/pellmark-init console=ttyS0 quiet panic=-1 pellmark.share=$BUILD pellmark.job=$job" \
        </dev/null >"$BUILD/guest-boot.log" 2>&1
}
