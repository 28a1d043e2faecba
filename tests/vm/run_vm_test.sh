#!/usr/bin/env bash
# Boots Debian's own kernel in QEMU with two virtio functions as the maker's cards and
# runs the driver library and programs on them in the guest: one boot as shipped, one
# in lockdown, side by side. Each guest prints one line per case and an end marker on
# its serial console; every case named below must pass. Exit 77: QEMU cannot run here.
#
#   run_vm_test.sh SOURCE_DIR WORK_DIR DRIVER_LIB UDEV_RULE CHECK PROBE
set -uo pipefail

source_dir=$1 work=$2 driver_lib=$3 udev_rule=$4 check=$5 probe=$6
here="$source_dir/tests/vm"

# Boots by name: extra kernel arguments, and the cases in the order they run.
declare -A boot_args=(
    [plain]=""
    [lockdown]="lockdown=integrity"
)
declare -A boot_cases=(
    [plain]="enumerate udev_group_member udev_outsider_hint open_bar4_close second_process check_reports_no_krv5316 driver_bound"
    [lockdown]="enumerate lockdown_sysfs"
)

qemu=$(command -v qemu-system-x86_64) || {
    echo "SKIP: qemu-system-x86_64 is not installed (scripts/setup.sh installs it)"
    exit 77
}
kernel_dir=$(bash "$source_dir/scripts/vm_kernel.sh") || {
    echo "FAIL: no kernel for the virtual machine (scripts/vm_kernel.sh)"
    exit 1
}
rm -rf "$work"
mkdir -p "$work"

machine=(-machine q35,kernel-irqchip=split -nodefaults -no-user-config -display none
    -serial stdio -m 384 -no-reboot -kernel "$kernel_dir/vmlinux")
# The timer check before interrupt remapping is timing-based and fails on a busy host.
kernel_args="console=ttyS0 quiet panic=-1 no_timer_check intel_iommu=on"
# The cards: modern-only virtio functions, unbound while their driver is not loaded,
# with a 16 KiB memory BAR4; the virtual IOMMU comes first, as QEMU requires.
cards=(-device intel-iommu,intremap=on
    -device virtio-rng-pci,disable-legacy=on,addr=04.0
    -device virtio-rng-pci,disable-legacy=on,addr=0d.0)

# KVM only when a tiny guest boots with it at once: the device may exist and not work.
mkdir -p "$work/probe"
cp /bin/busybox "$work/probe/busybox"
printf '#!/busybox sh\n/busybox echo kvm-ok\n/busybox poweroff -f\n' >"$work/probe/init"
chmod +x "$work/probe/init"
(cd "$work/probe" && find . | cpio -o -H newc --quiet >../probe.cpio)
timeout 4 "$qemu" "${machine[@]}" -accel kvm -initrd "$work/probe.cpio" \
    -append "console=ttyS0 quiet panic=-1" >"$work/probe.log" 2>&1 &
kvm_probe=$!

# The guest's files: busybox, the programs and library with their shared libraries,
# udev, the modules, the configuration and two users, one in the group ox9162.
root="$work/root"
mkdir -p "$root"/{bin,sbin,usr/bin,proc,sys,dev,run,tmp,etc/udev/rules.d,lib/modules,lib/systemd,lib64}
cp /bin/busybox "$root/bin/busybox"
install -m 0755 "$here/guest_init.sh" "$root/init"
ln -s busybox "$root/bin/sh"
install -m 0755 "$check" "$root/usr/bin/krv5316-check"
install -m 0755 "$probe" "$root/usr/bin/card_probe"
install -m 0755 "$udev_rule" "$root/usr/bin/ox9162-udev-rule"
install -m 0755 /bin/udevadm "$root/bin/udevadm"
ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
libdir="$root/lib/x86_64-linux-gnu"
mkdir -p "$libdir"
install -m 0644 "$driver_lib" "$libdir/libzovak_ox9162.so"
for elf in "$check" "$probe" "$udev_rule" "$driver_lib" /bin/udevadm; do
    LD_LIBRARY_PATH="${driver_lib%/*}" ldd "$elf" | sed -n 's/.*=> \(\/[^ ]*\) .*/\1/p'
done | sort -u | while read -r lib; do
    [ "${lib##*/}" = libzovak_ox9162.so ] || cp -L "$lib" "$libdir/"
done
cp -L /lib64/ld-linux-x86-64.so.2 "$root/lib64/"
# Debug information would triple the archive and the kernel's time to unpack it.
find "$root/usr/bin" "$libdir" -type f -exec strip --strip-unneeded {} + 2>/dev/null
cp "$kernel_dir"/modules/*.ko "$root/lib/modules/"
cat >"$root/etc/passwd" <<'EOF'
root:x:0:0:root:/:/bin/sh
technician:x:1000:1000::/tmp:/bin/sh
outsider:x:1001:1001::/tmp:/bin/sh
EOF
cat >"$root/etc/group" <<'EOF'
root:x:0:
ox9162:x:999:technician
technician:x:1000:
outsider:x:1001:
EOF
echo "vendor 0x1af4" >"$root/etc/ox9162.conf"
(cd "$root" && find . | cpio -o -H newc --quiet >"$work/initramfs.cpio")
echo "initramfs: $(($(stat -c %s "$work/initramfs.cpio") / 1024)) KiB uncompressed"

accel=(-accel tcg)
wait $kvm_probe && grep -q kvm-ok "$work/probe.log" && accel=(-accel kvm)
echo "accelerator: ${accel[1]}"

declare -A pids
for boot in "${!boot_cases[@]}"; do
    list=$(echo "${boot_cases[$boot]}" | tr ' ' ',')
    (
        start=$(date +%s%N)
        timeout 120 "$qemu" "${machine[@]}" "${accel[@]}" "${cards[@]}" \
            -initrd "$work/initramfs.cpio" \
            -append "$kernel_args ${boot_args[$boot]} vm_cases=$list" \
            >"$work/$boot.log" 2>&1
        echo "boot to result $((($(date +%s%N) - start) / 1000000)) ms" >"$work/$boot.time"
    ) &
    pids[$boot]=$!
done

status=0
for boot in "${!boot_cases[@]}"; do
    wait "${pids[$boot]}"
    log="$work/$boot.log"
    echo "=== boot $boot: $(cat "$work/$boot.time")"
    grep -a '^vm: \|^  ' "$log" | tr -d '\r'
    for c in ${boot_cases[$boot]}; do
        if ! grep -aq "^vm: case $c: pass" "$log"; then
            echo "FAIL: boot $boot, case $c did not pass"
            status=1
        fi
    done
    if ! grep -aq '^vm: end' "$log"; then
        echo "FAIL: boot $boot did not reach its end; its console:"
        tr -d '\r' <"$log" | tail -n 40
        status=1
    fi
done
exit $status
