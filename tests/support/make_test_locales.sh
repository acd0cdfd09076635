#!/bin/sh
# Compiles the locales the tests switch between (Chinese and American English, UTF-8) into a
# folder of the build's own, which the tests name in LOCPATH: nothing is installed or configured
# on the machine. Locales already there are kept.
set -eu
folder=$1
mkdir -p "$folder"
for locale in zh_CN en_US; do
    [ -f "$folder/$locale.UTF-8/LC_CTYPE" ] && continue
    localedef --no-archive -i "$locale" -f UTF-8 "$folder/$locale.UTF-8"
done
