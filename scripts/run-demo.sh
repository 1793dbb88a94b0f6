#!/bin/sh
# Installs the packages, builds, and converts tests/data/testpage.ps into a PDF the way a print
# job does: the PostScript is placed in the temporary folder as the monitor's spool file, and gui
# runs in job mode on it. Settings, temporary files and the result stay in build/demo, so the
# settings of the person running it are not touched.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build/release"

demo="$top/build/demo"
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/config" "$demo/tmp" "$demo/out"
export HOME="$demo/home" XDG_CONFIG_HOME="$demo/config" TMPDIR="$demo/tmp"
export NIMBRA_REGISTRY="$demo/registry.reg"

printer=Nimbra_Creator
session=$(cat /proc/sys/kernel/random/uuid)
settings="$XDG_CONFIG_HOME/Varnell inc./PDF Printer"
work="$TMPDIR/Varnell inc./PDF Printer"
mkdir -p "$settings" "$work"
chmod 700 "$work"
cat > "$settings/settings@$printer.ini" <<INI
[PDF Printer]
output=$demo/out/testpage.pdf
showsettings=never
title=Nimbra Creator test page
author=$(id -un)
statusfile=$demo/out/status.txt
INI
cp "$top/tests/data/testpage.ps" "$work/${session}_printer.ps"

"$top/build/release/gui/driver/gui" \
  "ps=\"$work/${session}_printer.ps\", sessionid=\"$session\", doc=\"Test page\", printer=\"$printer\""

pdf="$demo/out/testpage.pdf"
if [ -f "$pdf" ]; then
  echo "The PDF landed in: $pdf"
  pdfinfo "$pdf" | grep -E '^(Title|Author|Pages|PDF version):'
else
  echo "No PDF was made; the run's log stays in: $work/${session}_printer.log" >&2
  exit 1
fi
