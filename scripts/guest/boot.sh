# The 32-bit guest, for scripts that source this after common.sh: its image, made once per
# recipe and kept outside the work tree (a fresh clone on the same machine finds it again),
# and one boot of it that runs a job.

GUEST_PACKAGES="qemu-system-x86 debootstrap e2fsprogs"
GUEST_CACHE=${PELLMARK_GUEST_CACHE:-/var/cache/pellmark}

# Sets GUEST to the image for the current recipe, building it if there is none.
guestImage() {
    local hash
    # What the image holds: the recipe, and the set-up its first boot runs.
    hash=$(cat "$ROOT/scripts/guest/image.sh" "$ROOT/scripts/guest/setup.sh" "$ROOT/scripts/wine-env.sh" | sha256sum | cut -c1-16)
    GUEST=$GUEST_CACHE/guest-$hash
    [ -f "$GUEST/ok" ] && return 0
    log "building the 32-bit guest image (once for this recipe: about 3 to 4 minutes)"
    mkdir -p "$GUEST_CACHE"
    # Images of older recipes are of no more use.
    rm -rf "$GUEST_CACHE"/guest-*
    "$ROOT/scripts/guest/image.sh" "$GUEST" >"$BUILD/guest-image.log" 2>&1 || {
        tail -30 "$BUILD/guest-image.log" >&2
        return 1
    }
}

# bootGuest SECONDS JOB [MEMORY_MIB]: boots the image in GUEST with BUILD shared at its own
# path and runs the shell script JOB (a path in BUILD) there, after scripts/guest/setup.sh.
# The disk image stays as it was, unless GUEST_WRITE=1 (the image's own first boot).
# Fails when the guest has not powered off within SECONDS.
# The processor: a first x86_64, with SSE2 and nothing of SSE3 or later, so that a check for
# SSE2 that asks for a later feature answers otherwise than the system does. (QEMU's "max"
# with SMAP makes every 32-bit Wine process oops the guest kernel; with its later SSE levels
# taken away, the kernel's own code that assumes them oopses.)
GUEST_CPU=Opteron_G1,-pni
bootGuest() {
    local secs=$1 job=$2 mem=${3:-3072}
    cp "$ROOT/scripts/guest/setup.sh" "$BUILD/pellmark-setup.sh"
    cp "$ROOT/scripts/wine-env.sh" "$BUILD/pellmark-wine-env.sh"
    timeout "$secs" qemu-system-x86_64 -accel tcg,thread=multi,tb-size=512 -cpu "$GUEST_CPU" -smp 2 -m "$mem" \
        -nographic -no-reboot -net none $([ "${GUEST_WRITE:-0}" = 1 ] || echo -snapshot) \
        -drive file="$GUEST/disk.img",format=raw,if=virtio,cache=unsafe \
        -kernel "$GUEST/vmlinuz" -initrd "$GUEST/initrd.img" \
        -virtfs local,path="$BUILD",mount_tag=share,security_model=none,id=share \
        -append "root=/dev/vda rw init=/pellmark-init console=ttyS0 quiet panic=-1 pellmark.share=$BUILD pellmark.job=$job" \
        </dev/null >"$BUILD/guest-boot.log" 2>&1
}
