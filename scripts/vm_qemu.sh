#!/usr/bin/env bash
# Builds, once per machine, a small x86-64 QEMU from Debian's own qemu source with one
# device added: ox9162-card (qemu_device/), a PCI function that the stand-in's card
# model answers. Only what the virtual-machine tests boot is configured: TCG, the q35
# machine, its serial port and the virtual IOMMU; it boots with the firmware of Debian's
# own QEMU packages (-L /usr/share/qemu -L /usr/share/seabios). Prints the path of the
# program. The machine's apt configuration is not touched: the source comes through the
# script's own source list and state folders. A build leaves a stamp, and a later run,
# from any clone, only prints the path; a change to the device, its C interface or the
# recipe number builds afresh.
set -euo pipefail
. "$(dirname "$0")/settings.sh"

repo="$ox_root"
cache="$OX_CACHE_DIR"
say() { echo "vm_qemu: $*" >&2; }

device_files=("$repo/qemu_device/ox9162_card.c" "$repo/sim/card_device.h")
# Count this up when the way of building below changes, so every machine builds afresh.
recipe=1
key="$({ cat "${device_files[@]}"; echo "$recipe"; } | md5sum | cut -c1-8)"

# --- the source, through apt with its own lists -------------------------------------
work="$cache/qemu-source"
src="$(ls -d "$work"/qemu-*/ 2>/dev/null | head -n 1 || true)"
if [ -z "$src" ]; then
    bash "$repo/scripts/debian_source.sh" qemu "$work"
    src="$(ls -d "$work"/qemu-*/ | head -n 1)"
fi
src="${src%/}"
version="$(cat "$src/VERSION")"

prefix="$cache/qemu-$version-ox9162-$key"
program="$prefix/qemu-system-x86_64"
if [ -f "$prefix/.built" ]; then
    echo "$program"
    exit 0
fi

# --- the device, into a copy of the source ------------------------------------------
tree="$cache/qemu-build-$key"
rm -rf "$tree"
mkdir -p "$tree"
say "copying the source"
cp -a "$src" "$tree/src"
cp "${device_files[@]}" "$tree/src/hw/misc/"
cat >>"$tree/src/hw/misc/Kconfig" <<'EOF'

config OX9162_CARD
    bool
    depends on PCI
EOF
echo "softmmu_ss.add(when: 'CONFIG_OX9162_CARD', if_true: files('ox9162_card.c'))" \
    >>"$tree/src/hw/misc/meson.build"
# Without default devices, "default y" counts for nothing: name each one here.
cat >>"$tree/src/configs/devices/i386-softmmu/default.mak" <<'EOF'
CONFIG_OX9162_CARD=y
CONFIG_VTD=y
CONFIG_SERIAL_ISA=y
CONFIG_PCI_DEVICES=y
EOF

# --- configure and build ------------------------------------------------------------
say "configuring (log: $tree/build.log)"
mkdir -p "$tree/build"
start=$(date +%s)
(cd "$tree/build" && ../src/configure --target-list=x86_64-softmmu \
    --without-default-features --without-default-devices --enable-tcg \
    --disable-werror --disable-docs) >"$tree/build.log" 2>&1 || {
    tail -n 30 "$tree/build.log" >&2
    say "configure FAILED"
    exit 1
}
say "building qemu-system-x86_64 (a few minutes on two cores)"
nice -n 10 ninja -C "$tree/build" qemu-system-x86_64 >>"$tree/build.log" 2>&1 || {
    grep -a -B2 -A8 'error' "$tree/build.log" | tail -n 40 >&2
    say "build FAILED"
    exit 1
}
mkdir -p "$prefix"
strip -o "$program" "$tree/build/qemu-system-x86_64"
say "built in $(($(date +%s) - start)) s: $(($(stat -c %s "$program") / 1024 / 1024)) MB"
rm -rf "$tree"
touch "$prefix/.built"
echo "$program"
