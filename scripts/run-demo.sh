#!/bin/sh
# Installs the packages, builds, installs Nimbra Creator with its CUPS queue
# (scripts/install.sh), prints tests/data/testpage.ps through CUPS as any application would, and
# shows where the PDF landed. The job is steered by a one-shot settings file, which the job
# consumes, so the persistent settings of the person running it stay as they are; the PDF and
# the status file go to build/demo/out.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build/release"
"$top/scripts/install.sh" "$top/build/release"

demo="$top/build/demo"
rm -rf "$demo"
mkdir -p "$demo/out"

printer=Nimbra_Creator
user=$(id -un)
home=$(getent passwd "$user" | cut -d: -f6)
# gui runs as the printing user with an environment built for that user, so its settings are
# below that user's home.
settings="$home/.config/Varnell inc./PDF Printer"
mkdir -p "$settings"
cat > "$settings/runonce@$printer.ini" <<INI
[PDF Printer]
output=$demo/out/testpage.pdf
showsettings=never
showsaveas=never
showpdf=no
title=Nimbra Creator test page
author=$user
statusfile=$demo/out/status.txt
INI

lp -d "$printer" -t "Nimbra Creator test page" "$top/tests/data/testpage.ps"

pdf="$demo/out/testpage.pdf"
i=0
until [ -f "$demo/out/status.txt" ] || [ $i -ge 1200 ]; do
  i=$((i + 1))
  sleep 0.1
done
if [ -f "$pdf" ]; then
  echo "The PDF landed in: $pdf"
  pdfinfo "$pdf" | grep -E '^(Title|Author|Pages|PDF version):'
else
  work="/tmp/nimbra-creator-$(id -u)/Varnell inc./PDF Printer"
  echo "No PDF was made. The queue: $(lpstat -o "$printer" 2>&1 | tail -1)" >&2
  echo "The monitor's log: $work/port.log" >&2
  exit 1
fi
