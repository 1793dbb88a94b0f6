#!/bin/sh
# Benchmark of the capture road: time from `lp` to the finished PDF for a 36-page document
# printed to Nimbra_Creator through a private cupsd (backend tvpdf29 -> gui as the user), against
#   - CUPS's own time to take the same job through a backend that only copies the stream to a
#     file (same filters, same queue driver), and
#   - the bare Ghostscript conversion (pdfwrite) of the captured stream.
# Prints the median of several runs of each and the ratios. Run as root:
#   bench/capture_bench.sh [build-folder] [runs]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/release}
runs=${2:-5}
pages=36
backend="$build/monitor/backend/tvpdf29"
gui="$build/gui/driver/gui"
for f in "$backend" "$gui"; do
  [ -x "$f" ] || { echo "missing $f: build first (scripts/build.sh $build)" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "run as root (cupsd runs the backend as root)" >&2; exit 1; }

work=$(mktemp -d /tmp/nimbra-capture-bench-XXXXXX)
chmod 0755 "$work"
user=nimbra-bench-$$
cleanup() {
  "$top/tests/monitor/private_cupsd.sh" stop "$work/cups" || true
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work" "/tmp/nimbra-creator-$uid" 2>/dev/null || true
}
uid=none
trap cleanup EXIT INT TERM

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f\n", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# Waits (polling every 10 ms, at most 300 s) until the shell condition holds.
wait_for() {
  i=0
  until eval "$1"; do
    i=$((i + 1))
    [ $i -lt 30000 ] || { echo "timed out waiting for: $1" >&2; exit 1; }
    sleep 0.01
  done
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The document: 36 pages of text and a little drawing each.
cat > "$work/doc.ps" <<PS
%!PS
/Helvetica findfont 14 scalefont setfont
1 1 $pages {
  /p exch def
  72 740 moveto (Quarterly report, page ) show p 3 string cvs show
  0 1 40 { 72 exch 15 mul 90 add moveto (Lorem ipsum dolor sit amet, consectetur adipiscing elit.) show } for
  newpath 300 400 p 2 mul 40 add 0 360 arc stroke
  showpage
} for
PS
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$work/doc.pdf" "$work/doc.ps"
chmod 0644 "$work/doc.pdf"

# The copying backend (run by CUPS as lp: mode 0755) and the stream it captures.
mkdir -m 0777 "$work/captured"
cat > "$work/copyfile" <<SH
#!/bin/sh
[ \$# -eq 0 ] && exit 0
if [ \$# -ge 6 ]; then cat "\$6"; else cat; fi > "$work/captured/job-\$1.tmp"
mv "$work/captured/job-\$1.tmp" "$work/captured/job-\$1.ps"
SH

mkdir -m 0755 "$work/app"
cp "$gui" "$work/app/gui"
cat > "$work/registry.reg" <<REG
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]
"AppFolder"="$work/app"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Nimbra Creator Monitor\\Ports]
"1"="TVPDF29"
REG
chmod 0644 "$work/registry.reg"

mkdir -m 0755 "$work/cups"
"$top/tests/monitor/private_cupsd.sh" start "$work/cups" "$backend" "$work/registry.reg" \
  "$work/copyfile" >/dev/null
"$top/tests/monitor/private_cupsd.sh" queue "$work/cups" Nimbra_Creator tvpdf29:/TVPDF29 2>/dev/null
"$top/tests/monitor/private_cupsd.sh" queue "$work/cups" CopyOnly copyfile:/stream 2>/dev/null
export CUPS_SERVER="$work/cups/cups.sock"

useradd -m -s /bin/sh "$user"
uid=$(id -u "$user")
home=$(getent passwd "$user" | cut -d: -f6)
settings="$home/.config/Varnell inc./PDF Printer"
mkdir -p "$settings" "$home/out"
printf '[PDF Printer]\r\noutput=%s/out/<title>.pdf\r\nshowsettings=never\r\nshowsaveas=never\r\nshowpdf=no\r\nstatusfile=%s/status.ini\r\n' \
  "$home" "$home" > "$settings/settings@Nimbra_Creator.ini"
chown -R "$user:" "$home/.config" "$home/out"

job_id() { sed -n 's/.*request id is [A-Za-z_]*-\([0-9]*\).*/\1/p'; }

: > "$work/nimbra.times"; : > "$work/copy.times"; : > "$work/gs.times"
for run in $(seq 1 "$runs"); do
  # Nimbra Creator: lp -> finished PDF (the status file names it once it is delivered).
  rm -f "$home/status.ini"
  start=$(now)
  runuser -u "$user" -- env CUPS_SERVER="$CUPS_SERVER" lp -d Nimbra_Creator -t "Bench $run" \
    "$work/doc.pdf" >/dev/null
  wait_for "[ -f '$home/status.ini' ] && iconv -f UTF-16LE -t UTF-8 '$home/status.ini' 2>/dev/null | grep -q 'Bench $run.pdf'"
  elapsed "$start" >> "$work/nimbra.times"
  pdf_pages=$(pdfinfo "$home/out/Bench $run.pdf" | sed -n 's/^Pages: *//p')
  [ "$pdf_pages" = "$pages" ] || { echo "PDF has $pdf_pages pages, not $pages" >&2; exit 1; }

  # CUPS alone: the same job through the copying backend.
  start=$(now)
  id=$(runuser -u "$user" -- env CUPS_SERVER="$CUPS_SERVER" lp -d CopyOnly -t "Copy $run" \
    "$work/doc.pdf" | job_id)
  wait_for "[ -f '$work/captured/job-$id.ps' ]"
  elapsed "$start" >> "$work/copy.times"

  # Ghostscript alone on the captured stream.
  start=$(now)
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$work/gs.pdf" \
    "$work/captured/job-$id.ps"
  elapsed "$start" >> "$work/gs.times"
done

nimbra=$(median < "$work/nimbra.times")
copy=$(median < "$work/copy.times")
ghost=$(median < "$work/gs.times")
printf 'Median of %d runs, %d-page document:\n' "$runs" "$pages"
printf '  lp -> PDF through Nimbra Creator:        %8.3f s\n' "$nimbra"
printf '  lp -> file through a copying backend:    %8.3f s\n' "$copy"
printf '  Ghostscript alone on the captured stream: %7.3f s\n' "$ghost"
printf 'Ratios: Nimbra Creator / copying backend = %.2f, Nimbra Creator / Ghostscript = %.2f\n' \
  "$(ratio "$nimbra" "$copy")" "$(ratio "$nimbra" "$ghost")"
