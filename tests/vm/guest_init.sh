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

# The verdict of the case that is running ($c).
pass() { echo "vm: case $c: pass"; }
fail() { echo "vm: case $c: FAIL: $1"; }
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
    su "$user" -c "$*"
}
# expect STATUS PATTERN COMMAND...: the case passes when the command ends with STATUS
# and a line of its output matches PATTERN (an empty PATTERN matches any output).
expect() {
    want=$1 pattern=$2
    shift 2
    run "$@"
    if [ $rc -eq "$want" ] && echo "$out" | grep -q "$pattern"; then pass; else fail "status $rc"; fi
}
# Open, BAR4 of 0x4000 bytes, the feature selector read back as written and the upper
# feature word with version 1 set, Close.
maps='bar4 length 0x4000 select 0x1 features-upper 0x[0-9a-f]*[13579bdf]$'

case_enumerate() {
    run card_probe list
    expected="cards 2
card 0 did 0x1044 bus 0 slot 4
card 1 did 0x1044 bus 0 slot 13"
    if [ $rc -eq 0 ] && [ "$out" = "$expected" ]; then pass; else fail "status $rc"; fi
}

case_open_bar4_close() { expect 0 "$maps" card_probe map 0; }

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
        pass
    else
        fail "holder $held, second $rc"
    fi
}

case_check_reports_no_krv5316() {
    expect 2 'no KRV-5316 card found (2 other card(s) of the maker)' krv5316-check
}

case_driver_bound() {
    modprobe virtio_pci
    expect 1 '^0000:00:04.0: opening: bound to kernel driver virtio-pci' card_probe map 0
}

case_lockdown_sysfs() {
    grep -q '\[integrity\]' /sys/kernel/security/lockdown || { fail "not in lockdown"; return; }
    expect 1 '^0000:00:04.0: mapping BAR4: Operation not permitted (kernel lockdown?' card_probe map 0
}

# The technician's set-up from the README, as root, with the real udev daemon.
udev_setup() {
    [ "$udev_rule" = "$*" ] && return
    udev_rule="$*"
    ox9162-udev-rule "$@" >/etc/udev/rules.d/60-ox9162.rules
    sed 's/^/  rule| /' /etc/udev/rules.d/60-ox9162.rules
    pidof systemd-udevd >/dev/null || /lib/systemd/systemd-udevd --daemon
    udevadm control --reload
    udevadm trigger --subsystem-match=pci --action=add
    udevadm settle --timeout=20
}

# Card 1 has not been opened by root in this boot: nothing but the rule enabled it.
case_udev_group_member() {
    udev_setup
    expect 0 "$maps" as technician card_probe map 1
}

case_udev_outsider_hint() { expect 1 '(not in group ox9162?)' as outsider card_probe map 1; }

# Figures, as the technician: the route is the library's choice for card 0.
case_cost_sysfs() { expect 0 '' as technician card_probe cost 0; }
case_cost_vfio() { case_cost_sysfs; }

# The technician's set-up for Secure Boot: the cards on vfio-pci, mapped through VFIO.
# busybox's modprobe ignores vfio's soft dependency on its IOMMU driver, kmod's does not.
vfio_setup() {
    modprobe vfio_iommu_type1
    udev_setup --vfio
    ls -l /dev/vfio | sed 's/^/  vfio| /'
}

case_vfio_technician() {
    vfio_setup
    expect 0 "$maps" as technician card_probe map 0
}

# The stand-in's card model behind PCI functions: the check as the technician runs it.
case_krv_check_passes() {
    udev_setup
    expect 0 '' as technician krv5316-check --loopback --json /tmp/check.json
    sed 's/^/vm-json: /' /tmp/check.json
}

case_krv_vfio_check_passes() {
    vfio_setup
    expect 0 '' as technician krv5316-check --loopback --card 0/4
}

# The card at 0/6 has a dead counter (deadcnt=3).
case_krv_vfio_check_fault() {
    vfio_setup
    expect 1 'Verdict: FAIL at step count' as technician krv5316-check --loopback --card 0/6
}

start=$(cut -d' ' -f1 /proc/uptime)
for c in $cases; do
    echo "vm: running $c"
    "case_$c"
done
echo "vm: cases took $(awk -v s="$start" '{ printf "%.2f", $1 - s }' /proc/uptime) s"
echo "vm: end"
poweroff -f
