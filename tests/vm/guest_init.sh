#!/bin/sh
# The guest's first process: runs the cases that the kernel's command line asks for
# (vm_cases=a,b,...) on the machine's cards, each ending in one line
# "vm: case NAME: pass" or "vm: case NAME: FAIL: why", then "vm: end" and power off.
# The host decides from these lines alone: lockdown closes QEMU's exit ports.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t securityfs securityfs /sys/kernel/security
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
mkdir -p /run/udev
echo "vm: up after $(cut -d' ' -f1 /proc/uptime) s"

cases=$(sed -n 's/.*vm_cases=\([^ ]*\).*/\1/p' /proc/cmdline | tr ',' ' ')
udev_rule=none

pass() { echo "vm: case $1: pass"; }
fail() { echo "vm: case $1: FAIL: $2"; }
# Runs a command, keeping its standard output and error in $out, its status in $rc.
run() {
    out=$("$@" 2>&1)
    rc=$?
    echo "$out" | sed 's/^/  | /'
}
# as USER COMMAND...: the command as that user, with the user's groups.
as() {
    user=$1
    shift
    run su "$user" -c "$*"
}

case_enumerate() {
    run card_probe list
    expected="cards 2
card 0 did 0x1044 bus 0 slot 4
card 1 did 0x1044 bus 0 slot 13"
    if [ $rc -eq 0 ] && [ "$out" = "$expected" ]; then pass enumerate; else fail enumerate "status $rc"; fi
}

# Open, BAR4 of 0x4000 bytes, the feature selector read back as written and the upper
# feature word with version 1 set, Close.
maps_card() {
    [ $rc -eq 0 ] && echo "$out" | grep -q 'bar4 length 0x4000 select 0x1 features-upper 0x[0-9a-f]*[13579bdf]$'
}

case_open_bar4_close() {
    run card_probe map 0
    if maps_card; then pass open_bar4_close; else fail open_bar4_close "status $rc"; fi
}

case_second_process() {
    mkfifo /tmp/hold
    card_probe hold 0 </tmp/hold >/tmp/hold.out 2>&1 &
    holder=$!
    exec 3>/tmp/hold
    for _ in $(seq 50); do grep -q held /tmp/hold.out && break; sleep 0.1; done
    run card_probe map 0
    exec 3>&-
    wait $holder
    held=$?
    if [ $held -eq 0 ] && [ $rc -eq 1 ] &&
        echo "$out" | grep -q '^0000:00:04.0: locking resource4: the card is in use by another process$'; then
        pass second_process
    else
        fail second_process "holder $held, second $rc"
    fi
}

case_check_reports_no_krv5316() {
    run krv5316-check
    if [ $rc -eq 2 ] && echo "$out" | grep -q 'no KRV-5316 card found (2 other card(s) of the maker)'; then
        pass check_reports_no_krv5316
    else
        fail check_reports_no_krv5316 "status $rc"
    fi
}

case_driver_bound() {
    modprobe virtio_pci
    run card_probe map 0
    if [ $rc -eq 1 ] && echo "$out" | grep -q '^0000:00:04.0: opening: bound to kernel driver virtio-pci'; then
        pass driver_bound
    else
        fail driver_bound "status $rc"
    fi
}

case_lockdown_sysfs() {
    grep -q '\[integrity\]' /sys/kernel/security/lockdown || { fail lockdown_sysfs "not in lockdown"; return; }
    run card_probe map 0
    if [ $rc -eq 1 ] && echo "$out" | grep -q '^0000:00:04.0: mapping BAR4: Operation not permitted (kernel lockdown?'; then
        pass lockdown_sysfs
    else
        fail lockdown_sysfs "status $rc"
    fi
}

# The technician's set-up from the README, as root, with the real udev daemon.
udev_setup() {
    [ "$udev_rule" = "$*" ] && return
    udev_rule="$*"
    ox9162-udev-rule "$@" >/etc/udev/rules.d/60-ox9162.rules
    cat /etc/udev/rules.d/60-ox9162.rules | sed 's/^/  rule| /'
    pidof systemd-udevd >/dev/null || /lib/systemd/systemd-udevd --daemon
    udevadm control --reload
    udevadm trigger --subsystem-match=pci --action=add
    udevadm settle --timeout=20
}

# Card 1 has not been opened by root in this boot: nothing but the rule enabled it.
case_udev_group_member() {
    udev_setup
    as technician card_probe map 1
    if maps_card; then pass udev_group_member; else fail udev_group_member "status $rc"; fi
}

case_udev_outsider_hint() {
    as outsider card_probe map 1
    if [ $rc -eq 1 ] && echo "$out" | grep -q '(not in group ox9162?)'; then
        pass udev_outsider_hint
    else
        fail udev_outsider_hint "status $rc"
    fi
}

# Figures, as the technician: the route is the library's choice for card 0.
cost() {
    as technician card_probe cost 0
    if [ $rc -eq 0 ]; then pass "$1"; else fail "$1" "status $rc"; fi
}
case_cost_sysfs() { cost cost_sysfs; }
case_cost_vfio() { cost cost_vfio; }

# The technician's set-up for Secure Boot: the cards on vfio-pci, mapped through VFIO.
# busybox's modprobe ignores vfio's soft dependency on its IOMMU driver, kmod's does not.
vfio_setup() {
    modprobe vfio_iommu_type1
    udev_setup --vfio
    ls -l /dev/vfio | sed 's/^/  vfio| /'
}

case_vfio_technician() {
    vfio_setup
    as technician card_probe map 0
    if maps_card; then pass vfio_technician; else fail vfio_technician "status $rc"; fi
}

# The stand-in's card model behind PCI functions: the check as the technician runs it.
case_krv_check_passes() {
    udev_setup
    as technician krv5316-check --loopback --json /tmp/check.json
    sed 's/^/vm-json: /' /tmp/check.json
    if [ $rc -eq 0 ]; then pass krv_check_passes; else fail krv_check_passes "status $rc"; fi
}

case_krv_vfio_check_passes() {
    vfio_setup
    as technician krv5316-check --loopback --card 0/4
    if [ $rc -eq 0 ]; then pass krv_vfio_check_passes; else fail krv_vfio_check_passes "status $rc"; fi
}

# The card at 0/6 has a dead counter (deadcnt=3).
case_krv_vfio_check_fault() {
    vfio_setup
    as technician krv5316-check --loopback --card 0/6
    if [ $rc -eq 1 ] && echo "$out" | grep -q 'Verdict: FAIL at step count'; then
        pass krv_vfio_check_fault
    else
        fail krv_vfio_check_fault "status $rc"
    fi
}

start=$(cut -d' ' -f1 /proc/uptime)
for c in $cases; do
    echo "vm: running $c"
    "case_$c"
done
echo "vm: cases took $(awk -v s="$start" '{ printf "%.2f", $1 - s }' /proc/uptime) s"
echo "vm: end"
poweroff -f
