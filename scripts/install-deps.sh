#!/bin/sh
# Installs every Debian 12 package needed to build, run and test Nimbra Creator.
set -eu
export DEBIAN_FRONTEND=noninteractive
PACKAGES="
  build-essential cmake ninja-build pkg-config g++
  libgtest-dev libgmock-dev googletest
  ghostscript libgs-common
  cups cups-client cups-bsd cups-filters libcups2-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  libfontconfig-dev fontconfig fonts-liberation fonts-dejavu-core
  libqpdf-dev qpdf poppler-utils
  xdg-utils xdg-user-dirs
  passwd procps coreutils util-linux locales
"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
fi
