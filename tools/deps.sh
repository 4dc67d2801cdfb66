#!/usr/bin/env bash
# Installs the Debian packages that a task needs, only those missing, so that
# a second run costs a few dpkg queries. Usage: tools/deps.sh run|test
set -euo pipefail

build=(cmake ninja-build g++ clang qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
       libcups2-dev fontconfig fonts-dejavu-core fonts-liberation2 fonts-crosextra-carlito
       fonts-crosextra-caladea fonts-noto-cjk)
testing=(libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
         xvfb xauth xdotool imagemagick x11-apps openbox
         cups printer-driver-cups-pdf poppler-utils emf2svg)

case "${1:-test}" in
  run) want=("${build[@]}" poppler-utils) ;;
  test) want=("${build[@]}" "${testing[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" \
  >/tmp/vorlaxa-apt.log 2>&1 || { tail -n 30 /tmp/vorlaxa-apt.log >&2; exit 1; }
