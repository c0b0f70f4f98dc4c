#!/bin/sh
# After the package is installed or removed, udev reads its rules again and
# applies them to the Vantrel devices (vendor 0x131B) already plugged in, so
# nobody has to replug an adapter. Where udev does not run (a container, a
# chroot) udevadm is missing or fails; the rule then takes effect when udev
# next starts, and the package operation goes on.
set -e

case "$1" in
configure | remove)
    if command -v udevadm >/dev/null 2>&1; then
        udevadm control --reload-rules >/dev/null 2>&1 || true
        udevadm trigger --action=change --subsystem-match=usb --attr-match=idVendor=131b >/dev/null 2>&1 || true
    fi
    ;;
esac

exit 0
