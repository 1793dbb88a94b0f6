#!/usr/bin/env bash
# How much gui adds to Ghostscript. Converts one multi-page PostScript document (made here) to
# PDF several times, once with bare Ghostscript and once through gui in job mode (headless, no
# dialogs), alternating, and prints the median wall times, their ratio and gui's peak memory.
# Then shows that gui's memory does not grow with the size of the PostScript: it converts a
# document padded to BIG_MB megabytes and prints gui's peak memory for it.
#
#   bench/convert_ratio.sh [build folder]      (default: build/release; gui must be built)
#   PAGES=150 RUNS=5 BIG_MB=500 bench/convert_ratio.sh build/release
#
# The bare run uses a parameter file written by the same code as gui's rendering pass
# (bench/write_pdf_parameters), so device and options are the same; gui's run has in addition
# its own work: settings, PostScript patching, the header (page reports, document information)
# and the document information step after Ghostscript.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/release}" && pwd)
pages=${PAGES:-150}
runs=${RUNS:-5}
big_mb=${BIG_MB:-500}
gui=$build/gui/driver/gui
writer=$build/bench/write_pdf_parameters
for program in "$gui" "$writer"; do
  if [ ! -x "$program" ]; then
    echo "missing $program: build it first (scripts/build.sh $build)" >&2
    exit 2
  fi
done
command -v gs >/dev/null || { echo "Ghostscript (gs) is not installed" >&2; exit 2; }

work=$(mktemp -d "${BENCH_TMP:-/tmp}/nimbra-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# gui's own world: settings, temporary folder, registry and application folder of this run only.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp
export NIMBRA_REGISTRY=$work/registry.reg NIMBRA_APP_FOLDER=$work/app
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR" "$NIMBRA_APP_FOLDER" "$work/spool" "$work/out"
: > "$NIMBRA_REGISTRY"
settings_folder="$XDG_CONFIG_HOME/Varnell inc./PDF Printer"
mkdir -p "$settings_folder"
printf '[PDF Printer]\r\n  output=%s\r\n  showsaveas=never\r\n  showsettings=never\r\n  showpdf=no\r\n  showprogress=no\r\n  showprogressfinished=no\r\n  confirmoverwrite=no\r\n' \
  "$work/out/gui.pdf" > "$settings_folder/settings@Nimbra_Creator.ini"

# make_document <pages> <file> [padding MB]: PostScript as CUPS hands it to a printer (its
# filters write Ghostscript's ps2write output): a text document of <pages> pages, a heading and
# 60 lines of text with a rule per page, turned into ps2write PostScript. The padding (comment
# lines, which Ghostscript skips) goes right after the first "%%Page:" line.
make_document() {
  awk -v pages="$1" 'BEGIN {
    print "%!PS-Adobe-3.0"
    print "%%Title: (Benchmark document)"
    print "%%Pages: " pages
    print "%%EndComments"
    for (p = 1; p <= pages; p++) {
      print "%%Page: " p " " p
      printf "/Helvetica-Bold findfont 14 scalefont setfont 50 790 moveto (Chapter %d) show\n", p
      print "/Times-Roman findfont 10 scalefont setfont"
      for (l = 0; l < 60; l++)
        printf "50 %d moveto (Page %d, line %d: the quick brown fox jumps over the lazy dog.) show\n", 760 - l * 12, p, l
      print "0.5 setgray 40 40 532 2 rectfill 0 setgray showpage"
    }
    print "%%EOF"
  }' > "$work/source.ps"
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=ps2write -sOutputFile="$work/source.ps2" "$work/source.ps"
  awk -v padding="${3:-0}" 'BEGIN {
    line = "% padding: the quick brown fox jumps over the lazy dog 0123456789 ABCDEFGHIJKL"
    fill = int(padding * 1048576 / (length(line) + 1))
  }
  { print }
  /^%%Page:/ && !padded { for (i = 0; i < fill; i++) print line; padded = 1 }' "$work/source.ps2" > "$2"
  rm -f "$work/source.ps" "$work/source.ps2"
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", b - a }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
megabytes() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
pdf_pages() { pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ { print $2 }'; }

session=0
# spool <document>: copies the document to a new spool file, as the monitor hands each job to
# gui (gui deletes its spool file); the output of the last run is removed.
spool() {
  session=$((session + 1))
  cp "$1" "$work/spool/bench$session.ps"
  rm -f "$work/out/gui.pdf"
}

# start_gui: starts gui on the last spool file in the background; $! is its pid.
start_gui() {
  "$gui" "ps=$work/spool/bench$session.ps" "sessionid=bench$session" "doc=Benchmark" \
    "printer=Nimbra_Creator" >"$work/gui.stdout" 2>"$work/gui.stderr" &
}

# time_gui <document>: wall seconds of one gui job (the copy to the spool file not counted).
time_gui() {
  local start end
  spool "$1"
  start=$(now)
  start_gui
  wait $!
  end=$(now)
  elapsed "$start" "$end"
}

# peak_gui <document>: gui's peak resident memory in kB (VmHWM, read until it ends) and the
# wall seconds of the job.
peak_gui() {
  local pid peak=0 value state start end
  spool "$1"
  start=$(now)
  start_gui
  pid=$!
  while :; do
    state=$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ -z "$state" ] || [ "$state" = Z ] && break
    value=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$value" ] && peak=$value
    sleep 0.02
  done
  wait "$pid" || true
  end=$(now)
  echo "$peak $(elapsed "$start" "$end")"
}

# time_bare: wall seconds of one bare Ghostscript run on the document.
time_bare() {
  local start end
  rm -f "$work/out/bare.pdf"
  start=$(now)
  gs "@$work/bare.gs" >/dev/null 2>&1
  end=$(now)
  elapsed "$start" "$end"
}

document=$work/document.ps
make_document "$pages" "$document"
"$writer" "$work/bare.gs" "$work/out/bare.pdf" "$work/bare.out" "$document"
doc_mb=$(megabytes $(($(stat -c %s "$document") / 1024)))
echo "Document: $pages pages, $doc_mb MB of PostScript; $runs runs each, alternating"

# One run of each first, not timed: warms the caches and checks that both convert the document.
time_bare >/dev/null
time_gui "$document" >/dev/null
bare_pages=$(pdf_pages "$work/out/bare.pdf")
gui_pages=$(pdf_pages "$work/out/gui.pdf")
if [ "$bare_pages" != "$pages" ] || [ "$gui_pages" != "$pages" ]; then
  echo "conversion failed: bare Ghostscript made ${bare_pages:-no} pages, gui ${gui_pages:-no} pages" >&2
  cat "$work/gui.stderr" >&2
  exit 1
fi

bare_times=()
gui_times=()
for ((i = 1; i <= runs; i++)); do
  bare_times+=("$(time_bare)")
  gui_times+=("$(time_gui "$document")")
done
bare_median=$(printf '%s\n' "${bare_times[@]}" | median)
gui_median=$(printf '%s\n' "${gui_times[@]}" | median)
echo "Bare Ghostscript: median ${bare_median} s (runs: ${bare_times[*]})"
echo "gui job mode:     median ${gui_median} s (runs: ${gui_times[*]})"
awk -v g="$gui_median" -v b="$bare_median" 'BEGIN { printf "Ratio gui / bare: %.3f (target: at most 1.10)\n", g / b }'

read -r small_peak _ < <(peak_gui "$document")
echo "gui peak memory: $(megabytes "$small_peak") MB with the $doc_mb MB document"

if [ "$big_mb" -gt 0 ]; then
  small=$work/small.ps
  make_document 3 "$small"
  big=$work/big.ps
  make_document 3 "$big" "$big_mb"
  read -r small3_peak _ < <(peak_gui "$small")
  read -r big_peak big_seconds < <(peak_gui "$big")
  big_pages=$(pdf_pages "$work/out/gui.pdf")
  echo "Constant memory: gui peak $(megabytes "$small3_peak") MB for a 3-page document of" \
    "$(megabytes $(($(stat -c %s "$small") / 1024))) MB, $(megabytes "$big_peak") MB for the" \
    "same document padded to $(megabytes $(($(stat -c %s "$big") / 1024))) MB" \
    "(converted in $big_seconds s, ${big_pages:-no} pages)"
fi
