# A 32-bit test machine in emulation, for the machines whose kernel cannot run
# 32-bit code: QEMU's system emulator (software emulation, no KVM) boots
# Debian's own kernel, and inside that guest Wine runs the 32-bit programs.
# Sourced after setup.sh by scripts/test.sh and scripts/demo.sh.
#
#   vm_build_image          the guest's disk image under build/vm/, made once
#                           from Debian's packages and made again only when
#                           its recipe (packages, init, apt sources) changes
#   vm_run NAME WORK [SUB...]
#                           boots the guest with the checkout and the build
#                           folders SUB... copied in at the same path, runs
#                           the bash file WORK in the copied checkout (it
#                           makes the Wine prefixes and the display it needs,
#                           with setup.sh) and brings back what WORK writes
#                           to "$VM_OUT" (build/vm/NAME/)
#
# The guest has no network (-nic none). It sees two folders of this machine
# over 9p: the checkout, read-only, and build/vm/NAME/, where its results go.
# Windows programs crash when started from a 9p share, so everything they
# need is copied onto the guest's own disk, at the path it has here. The
# image is opened with -snapshot: a run changes nothing in it.

VM_DIR="$BUILD/vm"
VM_IMAGE="$VM_DIR/guest.img"
VM_KERNEL="$VM_DIR/vmlinuz"
VM_INITRD="$VM_DIR/initrd.img"
VM_RECIPE="$VM_DIR/guest.recipe"
VM_SUITE=bookworm
VM_IMAGE_SIZE=8G
VM_MEMORY=6G
# Space the image needs while it is made (the root folder and the image) and
# while a run writes its copy of the checkout and its prefixes beside it.
VM_SPACE_MB=9000
# How long a guest may take to start its work, and to do it.
VM_BOOT_SECONDS=${VLX_VM_BOOT_SECONDS:-300}
VM_RUN_SECONDS=${VLX_VM_RUN_SECONDS:-3000}
# The Wine tests' time limits there, against those of a real machine: the
# tests' own waits (VLX_WAIT_SCALE in their environment) and ctest's.
VM_WAIT_SCALE=4
VM_PACKAGES=(
  linux-image-amd64 kmod udev procps mount
  cmake wine wine64 wine32:i386 xvfb x11-apps xxd osslsigncode openssl
)
VM_HOST_PACKAGES=(qemu-system-x86 mmdebstrap e2fsprogs)
VM_PID=

# The guest's init: the kernel starts it instead of an init system. It mounts
# what programs expect, then the two shares, and hands over to the guest half
# in the checkout (scripts/lib/vm32-guest.sh); whatever happens, it powers
# the machine off, which ends QEMU.
vm_init_script() {
  cat <<'EOF'
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
echo "== guest: up"
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /vlx/host /vlx/out
options=trans=virtio,version=9p2000.L,msize=262144
if ! mount -t 9p -o "$options,ro" checkout /vlx/host; then
  echo "== guest: the checkout share could not be mounted"
elif ! mount -t 9p -o "$options" out /vlx/out; then
  echo "== guest: the results share could not be mounted"
else
  bash /vlx/host/scripts/lib/vm32-guest.sh
fi
sync
echo "== guest: powering off"
echo o >/proc/sysrq-trigger
sleep 60
EOF
}

vm_apt_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && echo "$f"
  done
}

# The package sources, one per file in FOLDER, that give their indexes for
# both architectures; mmdebstrap refuses any index that fails, and a mirror
# can serve one broken index for days (seen: bookworm-security's i386 list
# with the wrong size). A source that fails is left out, and said so.
vm_reachable_sources() { # folder
  local folder=$1 f
  rm -rf "$folder" && mkdir -p "$folder/lists/partial" "$folder/cache"
  local n=0
  for f in $(vm_apt_sources); do
    case "$f" in
      *.sources) # stanzas, separated by blank lines
        awk -v out="$folder/s" 'BEGIN { n = 0 } /^[[:space:]]*$/ { if (open) { n++; open = 0 } next }
          { open = 1; print > (out "-" FILENAME_N "-" n ".sources") }' FILENAME_N=$n "$f" ;;
      *) grep -E '^[[:space:]]*deb[[:space:]]' "$f" | awk -v out="$folder/l" '
          { print > (out "-" FILENAME_N "-" NR ".list") }' FILENAME_N=$n ;;
    esac
    n=$((n + 1))
  done
  local part
  for part in "$folder"/*.sources "$folder"/*.list; do
    [ -f "$part" ] || continue
    mkdir -p "$folder/one" && rm -f "$folder/one"/* && cp "$part" "$folder/one/"
    if apt-get -q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$folder/one" \
        -o "Dir::State::Lists=$folder/lists" -o "Dir::Cache=$folder/cache" \
        -o APT::Architecture=amd64 -o APT::Architectures::=amd64 -o APT::Architectures::=i386 \
        -o 'Acquire::Languages=none' update --error-on=any >"$part.log" 2>&1; then
      echo "$part"
    else
      echo "left out of the guest's package sources (its indexes could not be read): $(grep -m 1 -E '^(URIs|deb)' "$part")" >&2
      grep -m 2 '^E:' "$part.log" >&2
    fi
  done
}

# What the image is made from; a change to any of it makes the image again.
vm_recipe() {
  echo "suite $VM_SUITE size $VM_IMAGE_SIZE"
  echo "packages ${VM_PACKAGES[*]}"
  vm_init_script
  local f
  for f in $(vm_apt_sources); do
    echo "sources $f"
    cat "$f"
  done
}

# Can this machine start the guest at all? Says why not and returns 1.
vm_check_host() {
  if ! command -v qemu-system-x86_64 >/dev/null; then
    echo "no qemu-system-x86_64 (Debian package qemu-system-x86): the emulated 32-bit machine cannot start" >&2
    return 1
  fi
  mkdir -p "$VM_DIR" || { echo "no folder $VM_DIR for the emulated 32-bit machine" >&2; return 1; }
  local free
  free=$(df --output=avail -BM "$VM_DIR" | tail -n 1 | tr -dc '0-9')
  if [ "${free:-0}" -lt "$VM_SPACE_MB" ]; then
    echo "not enough space for the emulated 32-bit machine: ${free:-0} MB free in $VM_DIR, $VM_SPACE_MB MB needed" >&2
    return 1
  fi
}

# The root folder that mmdebstrap fills; a run that was stopped may have left
# /proc or /sys mounted inside it, which must never be deleted through.
vm_remove_root() { # folder
  local mounted
  mounted=$(awk -v root="$1" 'index($2, root "/") == 1 { print $2 }' /proc/mounts | sort -r)
  [ -z "$mounted" ] || umount -l $mounted 2>/dev/null
  rm -rf --one-file-system "$1"
}

vm_build_image() {
  vm_check_host || return 1
  local recipe
  recipe=$(vm_recipe | sha256sum | cut -d' ' -f1)
  if [ -f "$VM_IMAGE" ] && [ -f "$VM_KERNEL" ] && [ -f "$VM_INITRD" ] &&
     [ "$(cat "$VM_RECIPE" 2>/dev/null)" = "$recipe" ]; then
    return 0
  fi
  if ! command -v mmdebstrap >/dev/null; then
    echo "no mmdebstrap (Debian package mmdebstrap): the guest's image cannot be made" >&2
    return 1
  fi
  say "making the emulated 32-bit machine's disk image (Debian $VM_SUITE, once)"
  local root="$VM_DIR/root" log="$VM_DIR/image.log"
  vm_remove_root "$root"
  rm -f "$VM_IMAGE" "$VM_KERNEL" "$VM_INITRD" "$VM_RECIPE"
  local include
  include=$(IFS=,; echo "${VM_PACKAGES[*]}")
  local sources=()
  mapfile -t sources < <(vm_reachable_sources "$VM_DIR/sources")
  if [ ${#sources[@]} -eq 0 ]; then
    echo "none of this machine's package sources could be read for amd64 and i386: the guest's root cannot be made" >&2
    return 1
  fi
  # A mirror in the middle of a sync serves index files that do not match
  # their Release file; that passes within minutes, so a failed root is
  # made again after a pause, a few times, before the machine is given up.
  local attempt=1 attempts=4
  while ! mmdebstrap --mode=root --variant=apt --architectures=amd64,i386 --include="$include" \
      --dpkgopt=force-unsafe-io --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
      --dpkgopt='path-exclude=/usr/share/locale/*' --aptopt='Acquire::Languages "none"' \
      --aptopt='Acquire::Retries "3"' \
      "$VM_SUITE" "$root" "${sources[@]}" </dev/null >"$log" 2>&1; do
    vm_remove_root "$root"
    if [ "$attempt" -ge "$attempts" ]; then
      tail -n 30 "$log" >&2
      echo "the guest's root could not be made after $attempts tries (log: $log)" >&2
      return 1
    fi
    grep -m 3 '^E:' "$log" >&2
    echo "the guest's root could not be made (try $attempt of $attempts); trying again in $((attempt * 60)) s" >&2
    sleep $((attempt * 60))
    attempt=$((attempt + 1))
  done
  vm_init_script >"$root/vlx-init" && chmod 755 "$root/vlx-init"
  local kernel initrd
  kernel=$(find "$root/boot" -maxdepth 1 -name 'vmlinuz-*' | sort | tail -n 1)
  initrd=$(find "$root/boot" -maxdepth 1 -name 'initrd.img-*' | sort | tail -n 1)
  if [ -z "$kernel" ] || [ -z "$initrd" ]; then
    echo "the guest's root has no kernel or initrd in /boot" >&2
    vm_remove_root "$root"
    return 1
  fi
  cp "$kernel" "$VM_KERNEL" && cp "$initrd" "$VM_INITRD" &&
    mke2fs -q -t ext4 -d "$root" "$VM_IMAGE" "$VM_IMAGE_SIZE" >>"$log" 2>&1
  local made=$?
  vm_remove_root "$root"
  if [ "$made" -ne 0 ]; then
    tail -n 10 "$log" >&2
    echo "the guest's disk image could not be made (log: $log)" >&2
    rm -f "$VM_IMAGE" "$VM_KERNEL" "$VM_INITRD"
    return 1
  fi
  echo "$recipe" >"$VM_RECIPE"
}

vm_stop() {
  [ -n "$VM_PID" ] || return 0
  kill "$VM_PID" >/dev/null 2>&1
  sleep 1
  kill -9 "$VM_PID" >/dev/null 2>&1
  wait "$VM_PID" 2>/dev/null
  VM_PID=
}

# Boots the guest for one piece of work and waits for it to power off.
# Returns the work's exit code, or 1 when the guest could not do it.
vm_run() { # name work-file [build sub-folder...]
  local name=$1 work=$2
  shift 2
  vm_check_host || return 1
  if [ ! -f "$VM_IMAGE" ] || [ ! -f "$VM_KERNEL" ] || [ ! -f "$VM_INITRD" ]; then
    echo "the emulated 32-bit machine has no disk image, kernel or initrd in $VM_DIR" >&2
    return 1
  fi
  VM_OUT="$VM_DIR/$name"
  rm -rf "$VM_OUT" && mkdir -p "$VM_OUT" || return 1
  cp "$work" "$VM_OUT/work.sh"
  {
    printf 'VLX_ROOT=%q\n' "$ROOT"
    printf 'VLX_BUILD_FOLDERS=%q\n' "$*"
  } >"$VM_OUT/job.env"
  local console="$VM_OUT/console.log"
  : >"$console"
  local qemu=(qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -smp 2 -m "$VM_MEMORY"
    -cpu max,-smap,-smep -display none -no-reboot -nic none -snapshot
    -kernel "$VM_KERNEL" -initrd "$VM_INITRD"
    -append "root=/dev/vda rw console=ttyS0 quiet panic=1 init=/vlx-init"
    -drive "file=$VM_IMAGE,format=raw,if=virtio"
    -virtfs "local,path=$ROOT,mount_tag=checkout,security_model=none,readonly=on"
    -virtfs "local,path=$VM_OUT,mount_tag=out,security_model=none")
  if [ "${VM_CONSOLE:-}" = stdio ]; then
    # By hand: the guest's console on this terminal, no time limit.
    "${qemu[@]}" -monitor none -serial stdio
    vm_status
    return
  fi
  "${qemu[@]}" -monitor none -serial "file:$console" </dev/null >"$VM_OUT/qemu.log" 2>&1 &
  VM_PID=$!
  # The guest's own progress lines, as they come.
  tail -n +1 -f --pid="$VM_PID" "$console" 2>/dev/null | grep --line-buffered '^== ' | sed -u 's/\r$//' &
  local follower=$! started=$SECONDS up=no
  while kill -0 "$VM_PID" 2>/dev/null; do
    if [ "$up" = no ] && grep -q '^== guest: up' "$console"; then up=yes; fi
    if [ "$up" = no ] && [ $((SECONDS - started)) -ge "$VM_BOOT_SECONDS" ]; then
      echo "the emulated 32-bit machine did not boot within $VM_BOOT_SECONDS s; stopped" >&2
      break
    fi
    if [ $((SECONDS - started)) -ge "$VM_RUN_SECONDS" ]; then
      echo "the emulated 32-bit machine did not finish within $VM_RUN_SECONDS s; stopped" >&2
      break
    fi
    sleep 2
  done
  vm_stop
  wait "$follower" 2>/dev/null
  if ! vm_status_written; then
    echo "the emulated 32-bit machine ended without finishing its work; the last lines of its console:" >&2
    tail -n 25 "$console" | tr -d '\r' | sed 's/^/  | /' >&2
    grep -v '^$' "$VM_OUT/qemu.log" | tail -n 5 | sed 's/^/  qemu: /' >&2
    return 1
  fi
  say "the emulated 32-bit machine finished in $((SECONDS - started)) s"
  vm_status
}

# Did the guest's work write its exit code in full?
vm_status_written() {
  [[ "$(cat "$VM_OUT/status" 2>/dev/null)" =~ ^[0-9]+$ ]]
}

# The exit code the guest's work wrote; 1 when it wrote none.
vm_status() {
  vm_status_written || return 1
  return "$(cat "$VM_OUT/status")"
}
