#!/usr/bin/env bash
# Builds the kernel-level test guest under OUT (default build/guest): Debian 12's own kernel,
# uncompressed for a direct (PVH) boot, the five HID/input modules with their dependencies, and a
# busybox initramfs holding the given programs with the shared libraries they load.
#
#   scripts/guest/build-image.sh [--out DIR] PROGRAM...
#
# The kernel package is downloaded and unpacked once (never installed on this machine); later
# runs reuse it and only rebuild the initramfs. Any missing piece stops the build with a message.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/build/guest
if [[ ${1:-} == --out ]]; then out=$2; shift 2; fi
programs=("$@")
(( ${#programs[@]} )) || { echo "build-image: no guest programs given" >&2; exit 2; }

# Loaded in this order by /init: hid-generic must be loaded explicitly, nothing else binds uhid
# devices without udevd.
modules=(hid hid-generic uhid evdev uinput)

fail() { echo "build-image: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || fail "'$1' not found (package $2; run scripts/install-deps.sh)"; }
need apt-get apt
need dpkg-deb dpkg
need modinfo kmod
need tar tar
need cpio cpio
need xz xz-utils
need readelf binutils
[[ -x /bin/busybox ]] && ! readelf -l /bin/busybox 2>/dev/null | grep -q INTERP ||
  fail "/bin/busybox is missing or not static (package busybox-static)"

kernel=$out/kernel  # vmlinux (or bzImage), modules/, release
mkdir -p "$out"

# ---- kernel and modules, cached ----

# The PVH entry point lets QEMU start the uncompressed kernel directly, about twice as fast
# under emulation as the bzImage through the firmware.
has_pvh_note() { readelf -n "$1" 2>/dev/null | grep -q 'Xen .*(0x00000012)'; }

extract_vmlinux() {
  local bzimage=$1 target=$2 offset
  offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$bzimage" | head -n1 | cut -d: -f1)
  [[ -n $offset ]] || return 1
  # --single-stream stops at the payload's end; tail would die of SIGPIPE in a pipeline.
  xz -dc --single-stream < <(tail -c +$((offset + 1)) "$bzimage") > "$target" 2>/dev/null || return 1
  [[ $(head -c4 "$target" | od -An -c | tr -d ' ') == 177ELF ]] && has_pvh_note "$target"
}

# Appends `name`'s module file to `chain`, after the modules it depends on (by the dependency list
# the kernel build stores in every module); module names write '-' and '_' alike.
chain=()
add_module() {
  local dir=$1 name=$2 file dep
  file=$(find "$dir" -regextype posix-extended -regex ".*/${name//[-_]/[-_]}\.ko(\.xz|\.zst|\.gz)?" | head -n1)
  [[ -n $file ]] || fail "module $name is not among the kernel package's HID and input drivers"
  for dep in $(modinfo -F depends "$file" | tr ',' ' '); do add_module "$dir" "$dep"; done
  [[ " ${chain[*]} " == *" $file "* ]] || chain+=("$file")
}

build_kernel() {
  local package deb unpacked release bz
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
  [[ -n $package ]] || fail "cannot resolve linux-image-amd64 to a kernel package (apt-get update needed?)"
  mkdir -p "$out/download"
  deb=$(ls "$out"/download/"${package}"_*.deb 2>/dev/null | head -n1 || true)
  if [[ -z $deb ]]; then
    echo "build-image: downloading $package"
    (cd "$out/download" && apt-get download "$package" 2>&1 | { grep -v '^W: Download is performed unsandboxed' || true; }) ||
      fail "apt-get download $package failed"
    deb=$(ls "$out"/download/"${package}"_*.deb 2>/dev/null | head -n1 || true)
    [[ -n $deb ]] || fail "apt-get download $package produced no .deb"
  fi
  unpacked=$out/unpacked
  rm -rf "$unpacked" "$kernel.tmp"
  mkdir -p "$unpacked"
  # Only the kernel and the HID and input drivers: the whole package unpacks to 400 MB.
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$unpacked" --wildcards './boot/vmlinuz-*' \
    './lib/modules/*/kernel/drivers/hid/*' './lib/modules/*/kernel/drivers/input/*' ||
    fail "unpacking $deb failed"
  release=$(ls "$unpacked/lib/modules" | head -n1)
  [[ -n $release ]] || fail "$deb holds no modules"
  mkdir -p "$kernel.tmp/modules"
  bz=$unpacked/boot/vmlinuz-$release
  if extract_vmlinux "$bz" "$kernel.tmp/vmlinux"; then
    echo pvh > "$kernel.tmp/boot"
  else
    echo "build-image: no PVH-capable vmlinux in $bz; booting the bzImage (slower)" >&2
    rm -f "$kernel.tmp/vmlinux"
    cp "$bz" "$kernel.tmp/bzImage"
    echo bzimage > "$kernel.tmp/boot"
  fi
  local name file base
  for name in "${modules[@]}"; do add_module "$unpacked/lib/modules/$release" "$name"; done
  : > "$kernel.tmp/modules/order"
  for file in "${chain[@]}"; do
    base=$(basename "$file")
    case $base in
      *.ko.xz) xz -dc "$file" > "$kernel.tmp/modules/${base%.xz}"; base=${base%.xz} ;;
      *.ko.zst) zstd -qdc "$file" > "$kernel.tmp/modules/${base%.zst}"; base=${base%.zst} ;;
      *.ko.gz) gzip -dc "$file" > "$kernel.tmp/modules/${base%.gz}"; base=${base%.gz} ;;
      *) cp "$file" "$kernel.tmp/modules/$base" ;;
    esac
    echo "$base" >> "$kernel.tmp/modules/order"
  done
  echo "$release" > "$kernel.tmp/release"
  rm -rf "$unpacked" "$kernel"
  mv "$kernel.tmp" "$kernel"
  echo "build-image: kernel $release ($(cat "$kernel/boot")), modules: $(tr '\n' ' ' < "$kernel/modules/order")"
}

[[ -f $kernel/release && -f $kernel/modules/order ]] || build_kernel

# ---- initramfs, rebuilt every time (a second or two) ----

stage=$out/initramfs.d
rm -rf "$stage"
mkdir -p "$stage"/{bin,dev,proc,sys,tmp,root,modules,lib64}
cp /bin/busybox "$stage/bin/busybox"
cp "$root/tests/guest/init" "$stage/init"
chmod 755 "$stage/init"
cp "$kernel"/modules/* "$stage/modules/"

copy_library() {
  local path=$1
  [[ -e $stage$path ]] && return 0
  mkdir -p "$stage$(dirname "$path")"
  cp -L "$path" "$stage$path"
}

for program in "${programs[@]}"; do
  [[ -x $program ]] || fail "guest program $program is missing (build the release preset first)"
  # Debug information would triple the image; the guest only needs the code.
  objcopy --strip-debug "$program" "$stage/bin/$(basename "$program")"
  { ldd "$program" || true; } | while read -r first arrow path _; do
    if [[ $arrow == "=>" && $path == not ]]; then fail "$program needs $first, which is not installed"
    elif [[ $arrow == "=>" && $path == /* ]]; then copy_library "$path"
    elif [[ $first == /* ]]; then copy_library "$first"
    fi
  done
done

(cd "$stage" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc -R 0:0 --quiet) |
  gzip -1 > "$out/initramfs.cpio.gz.tmp"
mv "$out/initramfs.cpio.gz.tmp" "$out/initramfs.cpio.gz"
echo "build-image: initramfs $(du -k "$out/initramfs.cpio.gz" | cut -f1) KiB with ${programs[*]##*/}"
