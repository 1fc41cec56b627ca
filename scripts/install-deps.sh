#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Idempotent: prints nothing and touches nothing when all are installed.
set -euo pipefail

packages=(
  cmake make g++ pkg-config dpkg-dev
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5sql5-sqlite libxcb1-dev
  qttranslations5-l10n libssl-dev
  libbenchmark-dev sqlite3 libcli11-dev
  postgresql libqt5sql5-psql
  xvfb xauth fonts-wqy-microhei openbox xdotool wmctrl
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
