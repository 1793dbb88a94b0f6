#!/bin/sh
# Installs Nimbra Creator from a build folder (default build/release, built first when missing)
# and makes it a printer of this machine's CUPS. Run as root.
#
#   - cmake --install: gui and its data into the application folder, the monitor library
#     libtvpdf29.so beside it, the backend tvpdf29 into CUPS's backend folder (root, mode 0700,
#     so CUPS runs it as root), and the registry file when there is none;
#   - the registry values AppFolder and the port "1" = "TVPDF29" are (re)written;
#   - CUPS is started when it is not running, and the queue Nimbra_Creator is created with the
#     device URI tvpdf29:/TVPDF29 and CUPS's generic PostScript driver.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/release}

if [ "$(id -u)" -ne 0 ]; then
  echo "install.sh must run as root (the backend is installed for CUPS to run as root)." >&2
  exit 1
fi
[ -f "$build/CMakeCache.txt" ] || "$top/scripts/build.sh" "$build"
cmake --build "$build"
cmake --install "$build"

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
registry=$(cache_value NIMBRA_DEFAULT_REGISTRY)
app=$(cache_value NIMBRA_APP_FOLDER)
backend_dir=$(cache_value NIMBRA_CUPS_BACKEND_DIR)

# Sets one string value in the registry file, keeping everything else (atomic replace).
set_registry_value() {
  REG_KEY="[$1]" REG_NAME=$2 REG_VALUE=$(printf '%s' "$3" | sed 's/\\/\\\\/g; s/"/\\"/g')
  export REG_KEY REG_NAME REG_VALUE
  mkdir -p "$(dirname "$registry")"
  [ -f "$registry" ] || : > "$registry"
  awk '
    function emit() { printf "\"%s\"=\"%s\"\n", ENVIRON["REG_NAME"], ENVIRON["REG_VALUE"]; done = 1 }
    /^\[/ { if (inside && !done) emit(); inside = (toupper($0) == toupper(ENVIRON["REG_KEY"])); print; next }
    inside && index(toupper($0), toupper("\"" ENVIRON["REG_NAME"] "\"=")) == 1 { if (!done) emit(); next }
    { print }
    END { if (!done) { if (!inside) printf "\n%s\n", ENVIRON["REG_KEY"]; emit() } }
  ' "$registry" > "$registry.new"
  chmod 0644 "$registry.new"
  mv "$registry.new" "$registry"
}
set_registry_value 'HKEY_LOCAL_MACHINE\SOFTWARE\Varnell inc.\PDF Printer\Settings' AppFolder "$app"
set_registry_value 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\Nimbra Creator Monitor\Ports' 1 TVPDF29

chown root:root "$backend_dir/tvpdf29"
chmod 0700 "$backend_dir/tvpdf29"

# CUPS: the machine's scheduler, started when it is not running (machines without systemd too).
if ! lpstat -r 2>/dev/null | grep -q "scheduler is running"; then
  systemctl start cups >/dev/null 2>&1 || service cups start >/dev/null 2>&1 || /usr/sbin/cupsd
  i=0
  until lpstat -r 2>/dev/null | grep -q "scheduler is running"; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "CUPS did not start." >&2; exit 1; fi
    sleep 0.1
  done
fi
lpadmin -p Nimbra_Creator -v tvpdf29:/TVPDF29 -m drv:///sample.drv/generic.ppd \
  -D "Nimbra Creator" -E 2>/dev/null
cupsenable Nimbra_Creator
cupsaccept Nimbra_Creator

echo "Installed: gui and libtvpdf29.so in $app, the backend in $backend_dir/tvpdf29,"
echo "the registry in $registry, and the CUPS queue Nimbra_Creator (tvpdf29:/TVPDF29)."
