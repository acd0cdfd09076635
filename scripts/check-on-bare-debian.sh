#!/bin/sh
# Checks the README's quick start on a bare Debian: makes a minimal system of the given suite
# (debootstrap --variant=minbase) and runs each of the README's two quick-start commands, as
# root and exactly as the README gives them, in a fresh copy of that system holding a clone of
# this repository's committed HEAD (uncommitted changes and build folders stay out). Prints a
# PASS or FAIL line per command and exits non-zero if either fails.
#
# Usage: scripts/check-on-bare-debian.sh [--fresh] SUITE [FOLDER]
#   SUITE    bookworm (Debian 12), trixie (Debian 13), or any other suite debootstrap knows
#   FOLDER   where the systems are kept; /var/tmp/printer-tester-bare/SUITE unless given
#   --fresh  start clean: remove FOLDER first (the same as `rm -rf FOLDER`)
#
# FOLDER keeps between runs base/ (the bare system, made once) and archives/ (the packages
# downloaded, which every later run installs afresh but fetches only once). Each command runs in
# its own copy of base/, FOLDER/run/ and FOLDER/test/, with its output in FOLDER/run.log and
# FOLDER/test.log; both stay until the next run, for a look inside.
#
# The run command starts the tool, which runs until it is closed. It runs against a virtual X
# server on this machine (scripts/with-xvfb.sh; only DISPLAY reaches the command, so Qt picks its
# X11 plugin as on a desktop) and passes when the program is still running RUN_SECONDS seconds
# (15 unless set) after it started; the check then ends it.
#
# Inside, a command sees the system's own files, a /proc and a read-only /sys of its own, and a
# /dev of its own holding only null, zero, full, random, urandom, tty, a private pseudo-terminal
# instance (devpts newinstance, with /dev/ptmx) and a /dev/shm: no real device of this machine is
# reachable. The network is this machine's: the mirror, and 127.0.0.1 for the tests. Everything
# runs in a mount and process namespace of its own (unshare), so whatever way the check ends, its
# mounts and the processes it started end with it. The environment is a bare root login's:
# HOME, PATH and TERM, no locale.
#
# The mirror is the one this machine's APT sources use for its own release (MIRROR overrides it).
set -eu

# Inside the namespaces: mounts what a command needs in the system ROOT and runs it there.
# Arguments: ROOT KIND COMMAND, KIND being run or test.
run_inside() {
    root=$1 kind=$2 command=$3
    mounted=""
    mount_on() {  # mount_on TARGET MOUNT-ARGUMENT...
        target=$1
        shift
        mount "$@" "$target"
        mounted="$target
$mounted"
    }
    # shellcheck disable=SC2317 # run by the trap
    unmount_all() {  # the latest first
        printf '%s' "$mounted" | while IFS= read -r target; do umount -l "$target"; done
    }
    trap unmount_all EXIT
    trap 'exit 130' INT TERM HUP

    # This namespace's processes, for finding the started program below.
    mount -t proc proc /proc
    mount_on "$root/proc" -t proc proc
    mount_on "$root/sys" -t sysfs -o ro,nosuid,nodev,noexec sysfs
    mount_on "$root/dev" -t tmpfs -o mode=0755,nosuid tmpfs
    for node in null:3 zero:5 full:7 random:8 urandom:9; do
        mknod -m 0666 "$root/dev/${node%:*}" c 1 "${node#*:}"
    done
    mknod -m 0666 "$root/dev/tty" c 5 0
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount_on "$root/dev/pts" -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts
    ln -s pts/ptmx "$root/dev/ptmx"
    ln -s /proc/self/fd "$root/dev/fd"
    mount_on "$root/dev/shm" -t tmpfs -o mode=1777,nosuid,nodev tmpfs
    mount_on "$root/var/cache/apt/archives" --bind "$(dirname "$root")/archives"

    set -- chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    [ "$kind" = run ] && set -- "$@" DISPLAY="$DISPLAY"
    set -- "$@" /bin/bash -c "cd /root/printer-tester && $command"
    if [ "$kind" = test ]; then
        "$@"
        return
    fi

    # The run command ends with the program: wait for it to start, then for it to keep running.
    program="$root/root/printer-tester/${command##*&& ./}"
    "$@" &
    shell=$!
    while kill -0 "$shell" 2>/dev/null; do
        for process in /proc/[0-9]*; do
            [ "$(readlink "$process/exe" 2>/dev/null)" = "$program" ] || continue
            seconds=0
            while [ "$seconds" -lt "${RUN_SECONDS:-15}" ]; do
                sleep 1
                seconds=$((seconds + 1))
                if ! kill -0 "${process#/proc/}" 2>/dev/null; then
                    status=0
                    wait "$shell" || status=$?
                    echo "check: the program ended by itself after ${seconds} s, status $status"
                    return 1
                fi
            done
            echo "check: the program is still running after ${seconds} s; ending it"
            kill "${process#/proc/}"
            wait "$shell" || true
            return 0
        done
        sleep 1
    done
    status=0
    wait "$shell" || status=$?
    echo "check: the command ended with status $status before the program was seen running"
    return 1
}

# The script runs itself in the namespaces it makes for each command.
if [ "${1:-}" = --inside ]; then
    shift
    run_inside "$@"
    exit
fi

usage="usage: $0 [--fresh] SUITE [FOLDER]"
fresh=no
if [ "${1:-}" = --fresh ]; then
    fresh=yes
    shift
fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "$usage" >&2
    exit 2
fi
suite=$1
folder=$(realpath -m "${2:-/var/tmp/printer-tester-bare/$suite}")
if [ "$(id -u)" -ne 0 ]; then
    echo "$0: needs root for debootstrap, mount and chroot: run it with sudo" >&2
    exit 2
fi

script=$(realpath "$0")
repo=$(git -C "$(dirname "$script")" rev-parse --show-toplevel)
head=$(git -C "$repo" rev-parse HEAD)
[ -z "$(git -C "$repo" status --porcelain)" ] ||
    echo "note: uncommitted changes are left out; this checks the commit $head"
"$repo/scripts/install-deps.sh" chroot

# The first APT source of this machine that serves its own release.
# shellcheck disable=SC1091 # this machine's file
this_release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
# shellcheck disable=SC2016 # awk's own variables
mirror=${MIRROR:-$(
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk -v release="$this_release" '
            $1 == "deb" { sub(/^deb +(\[[^]]*\] +)?/, ""); if ($2 == release) print $1 }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v release="$this_release" -v RS= '
            /(^|\n)Types:[^\n]*deb( |\n|$)/ && !/(^|\n)Enabled: *no/ {
                uris = ""; matched = 0
                n = split($0, lines, "\n")
                for (i = 1; i <= n; i++) {
                    if (lines[i] ~ /^URIs:/) { uris = lines[i]; sub(/^URIs: */, "", uris) }
                    if (lines[i] ~ /^Suites:/ && (" " lines[i] " ") ~ (" " release " ")) matched = 1
                }
                if (matched) { split(uris, first, " "); print first[1] }
            }' "$file"
    done | head -n 1
)}
mirror=${mirror:-http://deb.debian.org/debian}

if [ "$fresh" = yes ]; then
    if grep -q " $folder/" /proc/self/mounts; then
        echo "$0: something is mounted under $folder; not removing it" >&2
        exit 1
    fi
    rm -rf "$folder"
fi
mkdir -p "$folder/archives"

# Stops whatever this check started when it is interrupted: each step runs in a session of its
# own, and the namespaces end with it.
step=""
trap '[ -z "$step" ] || kill -TERM "-$step" 2>/dev/null; exit 130' INT TERM HUP
in_session() {
    setsid "$@" &
    step=$!
    status=0
    wait "$step" || status=$?
    step=""
    return "$status"
}

if [ ! -e "$folder/base.done" ]; then
    echo "Making a bare $suite in $folder/base from $mirror (log: $folder/debootstrap.log)"
    rm -rf "$folder/base"
    started=$(date +%s)
    # Its own mount namespace, so the mounts it makes inside cannot outlive it.
    if ! in_session unshare --mount debootstrap --variant=minbase "$suite" "$folder/base" \
        "$mirror" >"$folder/debootstrap.log" 2>&1; then
        tail -n 20 "$folder/debootstrap.log"
        echo "FAIL debootstrap $suite"
        exit 1
    fi
    touch "$folder/base.done"
    echo "Made in $(($(date +%s) - started)) s"
fi
base_packages=$(chroot "$folder/base" dpkg-query -W -f '.\n' | wc -l)

failed=""
for kind in run test; do
    root=$folder/$kind
    rm -rf "$root"
    cp -a "$folder/base" "$root"
    git clone -q --no-checkout "$repo" "$root/root/printer-tester"
    git -C "$root/root/printer-tester" checkout -q --detach "$head"
    # The quick start's command for this kind, as the committed README gives it.
    command=$(awk '/^## /{ quick = ($0 == "## Quick start") } quick' \
        "$root/root/printer-tester/README.md" | grep "^\./scripts/install-deps\.sh $kind ")
    [ "$(echo "$command" | wc -l)" -eq 1 ] ||
        { echo "$0: README's quick start has no single '$kind' command" >&2; exit 1; }
    log=$folder/$kind.log
    echo "$kind on $suite: $command (log: $log)"

    started=$(date +%s)
    set -- unshare --mount --pid --kill-child "$script" --inside "$root" "$kind" "$command"
    [ "$kind" = test ] || set -- "$repo/scripts/with-xvfb.sh" "$@"
    status=0
    in_session "$@" >"$log" 2>&1 </dev/null || status=$?
    seconds=$(($(date +%s) - started))

    installed=$(($(chroot "$root" dpkg-query -W -f '.\n' | wc -l) - base_packages))
    echo "  $(grep -m1 '^Installing:' "$log" || echo 'Installing: nothing')"
    echo "  $installed packages installed with their dependencies"
    if [ "$status" -eq 0 ]; then
        echo "PASS $kind on $suite in $seconds s"
    else
        tail -n 30 "$log" | sed 's/^/  | /'
        echo "FAIL $kind on $suite in $seconds s (status $status)"
        failed="$failed $kind"
    fi
done

if grep " $folder/" /proc/self/mounts; then
    echo "$0: mounts left under $folder" >&2
    exit 1
fi
[ -z "$failed" ]
