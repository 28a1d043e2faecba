#!/usr/bin/env bash
# Boots Debian's own kernel in QEMU and runs the driver library and programs on PCI
# functions that stand for the maker's cards, in the guest; the boots of a suite run
# side by side. Each guest prints one line per case and an end marker on its serial
# console; every case named below must pass. Exit 77: QEMU cannot run here.
#
#   run_vm_test.sh SUITE SOURCE_DIR WORK_DIR DRIVER_LIB UDEV_RULE CHECK PROBE [CARD_MODEL]
#
# Suites: virtio (virtio functions, Debian's QEMU) and krv5316 (KRV-5316 cards that the
# stand-in's card model answers, in the QEMU that scripts/vm_qemu.sh builds).
set -uo pipefail

suite=$1 source_dir=$2 work=$3 driver_lib=$4 udev_rule=$5 check=$6 probe=$7
card_model=${8:-}
here="$source_dir/tests/vm"
maker=0x1b5e

# Boots by name: extra kernel arguments, cards, and the cases in the order they run.
declare -A boot_args boot_cards boot_cases
boot() { boot_args[$1]=$2 boot_cards[$1]=$3 boot_cases[$1]=$4; }
case $suite in
virtio)
    cards="-device virtio-rng-pci,disable-legacy=on,addr=04.0
        -device virtio-rng-pci,disable-legacy=on,addr=0d.0"
    boot plain "" "$cards" "enumerate udev_group_member udev_outsider_hint cost_sysfs open_bar4_close second_process check_reports_no_krv5316 driver_bound vfio_technician cost_vfio"
    boot lockdown lockdown=integrity "$cards" "enumerate lockdown_sysfs vfio_technician cost_vfio"
    ;;
krv5316)
    card="-device ox9162-card,model=$card_model,vendor=$maker"
    boot sysfs "" "$card,card=0123,addr=04.0 $card,card=0456,addr=05.0
        $card,card=0123,addr=0d.0" "krv_check_passes cost_sysfs"
    # A card with a dead counter beside a sound one, checked one by one.
    boot vfio lockdown=integrity "$card,card=0123,addr=04.0 $card,card=0123:deadcnt=3,addr=06.0" \
        "krv_vfio_check_passes krv_vfio_check_fault cost_vfio"
    ;;
*)
    echo "unknown suite $suite"
    exit 2
    ;;
esac

qemu=$(command -v qemu-system-x86_64) || {
    echo "SKIP: qemu-system-x86_64 is not installed (scripts/setup.sh installs it)"
    exit 77
}
firmware=()
if [ "$suite" = krv5316 ]; then
    qemu=$(bash "$source_dir/scripts/vm_qemu.sh") || {
        echo "FAIL: no QEMU with the card device (scripts/vm_qemu.sh)"
        exit 1
    }
    # The machine's firmware files, from Debian's QEMU of the same version and SeaBIOS.
    firmware=(-L /usr/share/qemu -L /usr/share/seabios)
fi
kernel_dir=$(bash "$source_dir/scripts/vm_kernel.sh") || {
    echo "FAIL: no kernel for the virtual machine (scripts/vm_kernel.sh)"
    exit 1
}
rm -rf "$work"
mkdir -p "$work"

machine=(-machine q35,kernel-irqchip=split -nodefaults -no-user-config -display none
    -serial stdio -m 384 -no-reboot -kernel "$kernel_dir/vmlinux" "${firmware[@]}")
# The timer check before interrupt remapping is timing-based and fails on a busy host.
kernel_args="console=ttyS0 quiet panic=-1 no_timer_check intel_iommu=on"
# The virtual IOMMU comes before the cards, as QEMU requires. The virtio cards are
# modern-only functions, unbound while their driver is not loaded, with a 16 KiB BAR4.
iommu=(-device intel-iommu,intremap=on)

# KVM only when a tiny guest boots with it at once: the device may exist and not work.
# The card device's QEMU is built for TCG alone.
kvm_probe=""
if [ "$suite" = virtio ]; then
    mkdir -p "$work/probe"
    cp /bin/busybox "$work/probe/busybox"
    printf '#!/busybox sh\n/busybox echo kvm-ok\n/busybox poweroff -f\n' >"$work/probe/init"
    chmod +x "$work/probe/init"
    (cd "$work/probe" && find . | cpio -o -H newc --quiet >../probe.cpio)
    timeout 4 "$qemu" "${machine[@]}" -accel kvm -initrd "$work/probe.cpio" \
        -append "console=ttyS0 quiet panic=-1" >"$work/probe.log" 2>&1 &
    kvm_probe=$!
fi

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
cp -r "$kernel_dir"/modules/* "$root/lib/modules/"
ln -s /bin/busybox "$root/sbin/modprobe"
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
printf "vendor 0x1af4\nvendor %s\n" "$maker" >"$root/etc/ox9162.conf"
# Root owns every file in the guest, whoever builds it.
(cd "$root" && find . | cpio -o -H newc -R 0:0 --quiet >"$work/initramfs.cpio")
echo "initramfs: $(($(stat -c %s "$work/initramfs.cpio") / 1024)) KiB uncompressed"

accel=(-accel tcg)
if [ -n "$kvm_probe" ] && wait "$kvm_probe" && grep -q kvm-ok "$work/probe.log"; then
    accel=(-accel kvm)
fi
echo "accelerator: ${accel[1]}"

declare -A pids
for boot in "${!boot_cases[@]}"; do
    list=$(echo "${boot_cases[$boot]}" | tr ' ' ',')
    (
        start=$(date +%s%N)
        # shellcheck disable=SC2086 # the cards are words
        timeout 120 "$qemu" "${machine[@]}" "${accel[@]}" "${iommu[@]}" ${boot_cards[$boot]} \
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
# krv5316-check's report, read from the console: both good cards passed, and how long
# each download took in the guest.
if [ "$suite" = krv5316 ]; then
    sed -n 's/^vm-json: //p' "$work/sysfs.log" | tr -d '\r' >"$work/check.json"
    python3 - "$work/check.json" <<'PY' || status=1
import json, sys
try:
    report = json.load(open(sys.argv[1]))
except ValueError as error:
    sys.exit(f"FAIL: no report of krv5316-check in the console: {error}")
cards = {c["position"]: c for c in report["cards"]}
for card in cards.values():
    download = next(s for s in card["steps"] if s["name"] == "download")
    print(f"card {card['position']}: {card['verdict']}, download {download['seconds']:.3f} s")
if sorted(cards) != ["0/13", "0/4"] or any(c["verdict"] != "pass" for c in cards.values()):
    sys.exit("FAIL: the report does not show the two cards passing")
PY
fi
exit $status
