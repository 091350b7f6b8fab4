#!/usr/bin/env bash
# Checks the modem's udev rules with udev's own rule engine: `udevadm test` on a fake sysfs (umockdev) that
# holds the modem under each of its product ids, a product of the same vendor we do not serve and another
# vendor's device. Runs the system's rules too, so that it also sees 71-seat.rules and 73-seat-late.rules act
# on our uaccess tag. Needs root: in a private mount namespace, /etc/udev/rules.d gets our file alone, and
# udev's runtime directories (/run/udev, /dev/char), which udevadm test writes to, get empty ones.
#
# Usage: udev_rules_check.sh [RULES_FILE]   (default: packaging/udev/70-velmo-modem.rules)
# Exit status: 0 all checks passed, 1 a check failed or a tool is missing, 77 not root (cannot run here).
set -euo pipefail

readonly kUsbRoot=/devices/pci0000:00/0000:00:14.0/usb1

fail() {
    echo "udev_rules_check: FAIL: $*" >&2
    exit 1
}

# ---- Inside the private mount namespace: replace the directories, run udevadm test on every device. ----

run_in_namespace() {
    local rules=$1 work=$2
    mount -t tmpfs -o mode=0755 velmo-check /etc/udev/rules.d
    # Under its own name: where it sorts among the system's rules is part of what is checked.
    install -m 0644 "$rules" "/etc/udev/rules.d/$(basename "$rules")"
    # Where udev never ran, /run/udev does not exist: an empty /run then, nothing in it matters here.
    if [ -d /run/udev ]; then
        mount -t tmpfs -o mode=0755 velmo-check /run/udev
    else
        mount -t tmpfs -o mode=0755 velmo-check /run
    fi
    if [ -d /dev/char ]; then
        mount -t tmpfs -o mode=0755 velmo-check /dev/char
    else
        # An empty /dev, with the few nodes a program expects bound back in from the real one.
        mkdir "$work/realdev"
        mount --bind /dev "$work/realdev"
        mount -t tmpfs -o mode=0755 velmo-check /dev
        local node
        for node in null zero full random urandom; do
            touch "/dev/$node"
            mount --bind "$work/realdev/$node" "/dev/$node"
        done
    fi
    local name syspath
    while read -r name syspath; do
        set +e
        umockdev-run --device "$work/devices.umockdev" -- udevadm test --action=add "/sys$syspath" \
            >"$work/$name.log" 2>&1
        echo $? >"$work/$name.rc"
        set -e
    done <"$work/targets"
}

if [ "${1:-}" = --in-namespace ]; then
    run_in_namespace "$2" "$3"
    exit 0
fi

# ---- Outside: prepare the fake devices, run the namespace part, check what udev made of each device. ----

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rules=${1:-$here/../../packaging/udev/70-velmo-modem.rules}
[ -r "$rules" ] || fail "no rules file at $rules"
rules=$(realpath "$rules")
rules_name=$(basename "$rules")

if [ "$(id -u)" -ne 0 ]; then
    echo "udev_rules_check: SKIP: needs root (a private mount namespace over udev's directories)" >&2
    exit 77
fi
for tool in udevadm umockdev-run unshare getent; do
    command -v "$tool" >/dev/null || fail "$tool not found (packages: udev, umockdev, util-linux, libc-bin)"
done
[ -d /etc/udev/rules.d ] || fail "/etc/udev/rules.d does not exist (is the udev package installed?)"
dialout_gid=$(getent group dialout | cut -d: -f3)
[ -n "$dialout_gid" ] || fail "no group dialout on this machine"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case "$work" in
    /run/* | /dev/*) fail "temporary directory $work would be hidden by the namespace; set TMPDIR elsewhere" ;;
esac

# One USB device with a tty port per given tty name, in umockdev's device file format.
: >"$work/devices.umockdev"
: >"$work/targets"
add_usb_device() {
    local port=$1 vendor=$2 product=$3
    shift 3
    local usb=$kUsbRoot/$port interface=0 tty
    {
        printf 'P: %s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n' "$usb"
        printf 'E: DEVNAME=/dev/bus/usb/001/%03d\nE: MAJOR=189\nE: MINOR=%d\n' "${port#1-}" "${port#1-}"
        printf 'A: idVendor=%s\nA: idProduct=%s\nA: bDeviceClass=00\n\n' "$vendor" "$product"
        for tty in "$@"; do
            printf 'P: %s/%s:1.%d\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=option\n' \
                "$usb" "$port" "$interface"
            printf 'A: bInterfaceNumber=%02d\n\n' "$interface"
            printf 'P: %s/%s:1.%d/%s\nE: SUBSYSTEM=usb-serial\nE: DRIVER=option1\n\n' \
                "$usb" "$port" "$interface" "$tty"
            printf 'P: %s/%s:1.%d/%s/tty/%s\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/%s\n' \
                "$usb" "$port" "$interface" "$tty" "$tty" "$tty"
            printf 'E: MAJOR=188\nE: MINOR=%d\n\n' "${tty#ttyUSB}"
            echo "$tty $usb/$port:1.$interface/$tty/tty/$tty" >>"$work/targets"
            interface=$((interface + 1))
        done
    } >>"$work/devices.umockdev"
    echo "usb-$port $usb" >>"$work/targets"
}
add_usb_device 1-1 1726 3197 ttyUSB0 ttyUSB1
add_usb_device 1-2 1726 1000 ttyUSB2
add_usb_device 1-3 1726 2000 ttyUSB3
add_usb_device 1-4 1726 3000 ttyUSB4
add_usb_device 1-5 1726 4000 ttyUSB5 # the same vendor, a product we do not serve
add_usb_device 1-6 1234 5678 ttyUSB6 # another vendor

if ! unshare --mount --propagation private -- "$BASH" "${BASH_SOURCE[0]}" --in-namespace "$rules" "$work" 2>"$work/namespace.err"; then
    cat "$work/namespace.err" >&2
    fail "could not set up the private mount namespace (unshare -m and tmpfs mounts need root and CAP_SYS_ADMIN)"
fi

failures=0
problem() {
    echo "udev_rules_check: FAIL: $1: $2" >&2
    failures=$((failures + 1))
}

# What udev made of one device: its properties, and the log lines our rules file caused.
props() { sed -n '/^This program is for debugging only/,$p' "$work/$1.log"; }
has_prop() { props "$1" | grep -qxF -- "$2"; }
tags_have() { props "$1" | grep -qE "^TAGS=(.*:)?$2:"; }
our_lines() { grep -F "$rules_name" "$work/$1.log" | grep -vF 'Reading rules file:' || true; }

# The device reached udevadm and our file was read; else every check below would pass or fail for nothing.
check_ran() {
    local name=$1 syspath=$2
    if [ "$(cat "$work/$name.rc")" -ne 0 ]; then
        problem "$name" "udevadm test exited with $(cat "$work/$name.rc")"
    elif ! has_prop "$name" "DEVPATH=$syspath"; then
        problem "$name" "udevadm test did not see the device (is umockdev's preload working?)"
    elif ! grep -qxF "Reading rules file: /etc/udev/rules.d/$rules_name" "$work/$name.log"; then
        problem "$name" "udevadm test did not read $rules_name"
    else
        return 0
    fi
    return 1
}

check_modem_port() {
    local name=$1
    has_prop "$name" ID_MM_DEVICE_IGNORE=1 || problem "$name" "no ID_MM_DEVICE_IGNORE=1"
    has_prop "$name" ID_MM_PORT_IGNORE=1 || problem "$name" "no ID_MM_PORT_IGNORE=1"
    tags_have "$name" uaccess || problem "$name" "no uaccess tag"
    tags_have "$name" seat || problem "$name" "no seat tag: 71-seat.rules did not see uaccess (file order?)"
    grep -qxF "run: 'uaccess'" "$work/$name.log" ||
        problem "$name" "73-seat-late.rules did not run uaccess (file order?)"
    local groups
    groups=$(grep -E "^$name: .*:[0-9]+ GROUP [0-9]+$" "$work/$name.log" || true)
    grep -qE "/$rules_name:[0-9]+ GROUP $dialout_gid$" <<<"$groups" ||
        problem "$name" "our rules did not set group dialout ($dialout_gid)"
    [ "$(tail -n 1 <<<"$groups" | awk '{print $NF}')" = "$dialout_gid" ] ||
        problem "$name" "a later rule changed the group: $(tail -n 1 <<<"$groups")"
    # Only the group assignment is ever logged for a match; anything else is a parse complaint.
    local other
    other=$(our_lines "$name" | grep -vE "/$rules_name:[0-9]+ GROUP [0-9]+$" || true)
    [ -z "$other" ] || problem "$name" "udev complained about our rules: $other"
}

check_untouched() {
    local name=$1
    ! has_prop "$name" ID_MM_DEVICE_IGNORE=1 || problem "$name" "ID_MM_DEVICE_IGNORE set on a foreign device"
    ! has_prop "$name" ID_MM_PORT_IGNORE=1 || problem "$name" "ID_MM_PORT_IGNORE set on a foreign device"
    ! tags_have "$name" uaccess || problem "$name" "uaccess tag on a foreign device"
    local ours
    ours=$(our_lines "$name")
    [ -z "$ours" ] || problem "$name" "our rules acted on a foreign device: $ours"
}

while read -r name syspath; do
    check_ran "$name" "$syspath" || continue
    case "$name" in
        ttyUSB[0-4]) check_modem_port "$name" ;;
        usb-1-[1-4])
            has_prop "$name" ID_MM_DEVICE_IGNORE=1 || problem "$name" "no ID_MM_DEVICE_IGNORE=1 on the modem"
            ;;
        *) check_untouched "$name" ;;
    esac
done <"$work/targets"

if [ "$failures" -ne 0 ]; then
    echo "udev_rules_check: $failures check(s) failed; udevadm's logs follow" >&2
    for log in "$work"/*.log; do
        echo "==== $(basename "$log")" >&2
        grep -vF 'Reading rules file:' "$log" >&2 || true
    done
    exit 1
fi
echo "udev_rules_check: all checks passed ($(wc -l <"$work/targets") devices)"
