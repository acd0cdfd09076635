#!/bin/sh
# Installs the Debian 12 or 13 packages this project needs that are not installed
# yet, and nothing else: `run` for building and starting the tool, `test` for
# building and running its tests (the desktop's validators among them),
# `sanitize` for scripts/sanitizer-check.sh, `package` for building the Debian
# package and checking it with lintian,
# `bench` for the measuring scripts, `chroot` for scripts/check-on-bare-debian.sh.
# Uses sudo when not run as root.
set -eu

build="g++ cmake ninja-build git qt6-base-dev libgl-dev"
# The Chinese faces the windows ask for, and Qt's own texts in Chinese.
chinese="fonts-noto-cjk fonts-arphic-ukai fonts-arphic-uming qt6-translations-l10n"
# The virtual printer's face for single-byte characters.
latin="fonts-dejavu-core"
# What the tests use besides GoogleTest: zbarimg reads the virtual printer's
# barcodes back, the desktop's validators judge what is installed, and a
# virtual X server with xdotool gives the window real input.
checks="libgtest-dev zbar-tools desktop-file-utils appstream man-db xvfb xdotool"
case "${1:-run}" in
    run) wanted="$build $chinese $latin xdg-utils" ;;
    test) wanted="$build $chinese $latin $checks" ;;
    sanitize) wanted="$build $chinese $latin $checks python3-xlib" ;;
    package) wanted="$build dpkg-dev file lintian" ;;
    bench) wanted="$build $chinese $latin libgtest-dev xvfb x11-utils" ;;
    chroot) wanted="git debootstrap debian-archive-keyring xvfb" ;;
    *) echo "usage: $0 [run|test|sanitize|package|bench|chroot]" >&2; exit 2 ;;
esac

missing=""
for package in $wanted; do
    status=$(dpkg-query -W -f '${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

as_root=""
[ "$(id -u)" -eq 0 ] || as_root="sudo"
echo "Installing:$missing"
$as_root apt-get update -qq
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
