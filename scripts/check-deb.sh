#!/usr/bin/env bash
# Builds the Debian package and installs it on a fresh minimal Debian 12 (debootstrap into a
# folder), then renders the bundled session with the installed murmura-cli and starts the
# desktop entry's command on a private Xvfb display, saving a screenshot. Needs root and
# Debian's mirror; takes a few minutes.
#   scripts/check-deb.sh [BUILD_DIR] [ROOT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; root=${2:-$(mktemp -d /var/tmp/murmura-deb.XXXXXX)}
apt-get install -y -q debootstrap xvfb imagemagick > /dev/null
(cd "$build" && rm -f murmura_*.deb && cpack -G DEB > /dev/null)
deb=$(ls "$build"/murmura_*.deb)
[ -x "$root/usr/bin/apt-get" ] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > /dev/null
cp /etc/resolv.conf "$root/etc/"
cp "$deb" data/sample-session.json "$root/tmp/"
mount -t proc proc "$root/proc"; mkdir -p "$root/tmp/.X11-unix"; mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1600x1000x24 > /dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null; umount "$root/tmp/.X11-unix" "$root/proc"' EXIT
chroot "$root" bash -ec "
  apt-get update -q > /dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/$(basename "$deb") > /dev/null
  cd /tmp && murmura-cli render sample-session.json --style ink-water --out /tmp/ink.png
  cmd=\$(sed -n 's/^Exec=//p' /usr/share/applications/io.github.murmura.Murmura.desktop)
  export DISPLAY=$display HOME=/root XDG_RUNTIME_DIR=/tmp
  (timeout 15 \$cmd > /tmp/app.log 2>&1 &)
  sleep 8; pgrep -x murmura > /dev/null || { cat /tmp/app.log; exit 1; }"
DISPLAY=$display import -window root "$build/deb-app.png"
echo "installed on a fresh Debian 12 in $root; the app's first screen is in $build/deb-app.png"
