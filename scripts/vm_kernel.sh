#!/usr/bin/env bash
# Fetches Debian's own 6.1 kernel for the virtual-machine tests, never installing it,
# and caches what they boot outside the checkout: the uncompressed kernel (QEMU starts
# it through its PVH entry, seconds sooner under emulation than the compressed one) and
# the few modules the guest loads. Prints the cache folder. A second run, or another
# clone on this machine, reuses the cache without asking the mirror, which drops old
# kernel versions.
set -euo pipefail
. "$(dirname "$0")/settings.sh"

cache_root="$OX_CACHE_DIR/vm-kernel"
# The modules the guest loads.
modules=(
    drivers/virtio/virtio_ring.ko drivers/virtio/virtio.ko
    drivers/virtio/virtio_pci_modern_dev.ko drivers/virtio/virtio_pci_legacy_dev.ko
    drivers/virtio/virtio_pci.ko
    drivers/vfio/vfio.ko drivers/vfio/vfio_iommu_type1.ko drivers/vfio/vfio_virqfd.ko
    virt/lib/irqbypass.ko drivers/vfio/pci/vfio-pci-core.ko drivers/vfio/pci/vfio-pci.ko
)
# A change to this script unpacks the kept package afresh, without the mirror.
layout="$(md5sum <"$0" | cut -c1-8)"

if [ -f "$cache_root/current" ]; then
    dir="$cache_root/$(cat "$cache_root/current")"
    if [ -f "$dir/ready-$layout" ]; then
        echo "$dir"
        exit 0
    fi
fi

mkdir -p "$cache_root"
package=""
if [ -f "$cache_root/current" ]; then
    package="$(cat "$cache_root/current")"
fi
if [ -z "$package" ] || ! ls "$cache_root/$package"/*.deb >/dev/null 2>&1; then
    package="$(apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-6\.1\.0-[0-9]*-amd64\)$/\1/p' | head -n 1)"
    if [ -z "$package" ]; then
        echo "vm_kernel: no linux-image-6.1.0-*-amd64 known to apt (run apt-get update?)" >&2
        exit 1
    fi
fi
dir="$cache_root/$package"
mkdir -p "$dir"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if ! ls "$dir"/*.deb >/dev/null 2>&1; then
    echo "vm_kernel: fetching $package (about 70 MB, once per machine)" >&2
    # apt's unprivileged downloader must be able to write where it downloads.
    chmod 0777 "$work"
    (cd "$work" && apt-get download -q "$package" >&2)
    mv "$work"/*.deb "$dir/"
fi

dpkg-deb -x "$dir"/*.deb "$work/root"
image="$(ls "$work/root/boot"/vmlinuz-*)"
version="${image##*/vmlinuz-}"
# The compressed image carries the ELF kernel as an xz stream after its set-up code;
# xz complains about what follows the stream, and the ELF check below decides.
offset="$(LC_ALL=C grep -m 1 -obUaP '\xfd7zXZ\x00' "$image" | head -n 1 | cut -d: -f1 || true)"
tail -c +"$((offset + 1))" "$image" | xz -dc >"$work/vmlinux" 2>/dev/null || true
if [ "$(head -c 4 "$work/vmlinux" | od -An -c | tr -d ' ')" != '177ELF' ]; then
    echo "vm_kernel: no ELF kernel found in $image" >&2
    exit 1
fi
# The modules in their tree, with the dependency list that modprobe reads (what depmod
# would write for these few; each module names its dependencies in its modinfo).
rm -rf "$dir/modules"
tree="$dir/modules/$version"
declare -A path_of
for m in "${modules[@]}"; do
    mkdir -p "$tree/kernel/${m%/*}"
    cp "$work/root/lib/modules/$version/kernel/$m" "$tree/kernel/$m"
    name="${m##*/}"
    name="${name%.ko}"
    path_of[${name//-/_}]="kernel/$m"
done
depends_of() {
    grep -ao 'depends=[A-Za-z0-9_,-]*' "$tree/$1" | head -n 1 | cut -d= -f2 | tr ',' ' '
}
# All dependencies, the ones to load last first, as depmod lists them.
closure() {
    local dep
    for dep in $(depends_of "$1"); do
        dep="${path_of[${dep//-/_}]}"
        closure "$dep"
        echo "$dep"
    done
}
for m in "${path_of[@]}"; do
    echo "$m: $(closure "$m" | awk '!seen[$0]++' | tac | tr '\n' ' ' | sed 's/ $//')"
done >"$tree/modules.dep"
mv "$work/vmlinux" "$dir/vmlinux"
rm -f "$dir"/ready-*
echo "$version" >"$dir/ready-$layout"
echo "$package" >"$cache_root/current"
echo "$dir"
