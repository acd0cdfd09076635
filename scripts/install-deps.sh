#!/bin/sh
# Installs the Debian 12 or 13 packages this project needs that are not installed
# yet, and nothing else: `run` for building and starting the tool, `test` for
# building and running its tests (the desktop's validators among them),
# `sanitize` for scripts/sanitizer-check.sh, `package` for building the Debian
# package and checking it with lintian,
# `bench` for the measuring scripts, `chroot` for scripts/check-on-bare-debian.sh.
# Uses sudo when not run as root.
set -eu

# libzint makes the virtual printer's 2-D symbols (QR Code, PDF417, DataMatrix);
# Qt's LinguistTools (the CMake part in qt6-tools-dev, lrelease in
# qt6-l10n-tools) build its translation.
build="g++ cmake ninja-build git qt6-base-dev libgl-dev libzint-dev qt6-tools-dev qt6-l10n-tools zlib1g-dev"
# Qt's HTTP server serves the virtual printer's web page; its CMake files ask for Qt's
# WebSockets, which Debian's package does not pull in.
build="$build qt6-httpserver-dev qt6-websockets-dev"
# The Chinese faces the windows ask for, and Qt's own texts in Chinese.
chinese="fonts-noto-cjk fonts-arphic-ukai fonts-arphic-uming qt6-translations-l10n"
# The virtual printer's face for single-byte characters.
latin="fonts-dejavu-core"
# What the tests use besides GoogleTest: zbarimg reads the virtual printer's
# barcodes back, ZXingReader its QR codes and PDF417 and tesseract its hanzi,
# pdftotext, pdfinfo and pdffonts read the reports back, the desktop's
# validators judge what is installed, a virtual X server with
# xdotool and python3-xlib gives the window real input, and the C library's
# locale sources and translations let the tests switch to Chinese.
checks="locales libc-l10n libgtest-dev poppler-utils zbar-tools zxing-cpp-tools tesseract-ocr tesseract-ocr-chi-sim desktop-file-utils appstream man-db xvfb xdotool python3-xlib"
# Chromium, headless, loads the virtual printer's web page as a person's browser would.
checks="$checks chromium"
case "${1:-run}" in
    run) wanted="$build $chinese $latin xdg-utils" ;;
    test) wanted="$build $chinese $latin $checks" ;;
    sanitize) wanted="$build $chinese $latin $checks" ;;
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
