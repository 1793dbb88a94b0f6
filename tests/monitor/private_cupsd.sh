#!/bin/sh
# A private CUPS spooler for the end-to-end test and the capture benchmark: its own cupsd.conf
# and cups-files.conf in a folder, a unix socket there, the given backend beside links to the
# system's filters, and the queue Nimbra_Creator on it. Needs root (the backend runs as root).
#
#   private_cupsd.sh start DIR BACKEND REGISTRY   starts cupsd; prints CUPS_SERVER's value
#   private_cupsd.sh queue DIR NAME URI           adds a queue with CUPS's generic PostScript driver
#   private_cupsd.sh stop DIR                     stops it (the folder stays for the caller)
set -eu
cmd=$1
dir=$2
sock="$dir/cups.sock"

case "$cmd" in
start)
  backend=$3
  registry=$4
  mkdir -p "$dir/etc/ppd" "$dir/bin/backend" "$dir/spool/tmp" "$dir/cache" "$dir/state" \
           "$dir/log"
  chmod 0755 "$dir" "$dir/etc" "$dir/bin" "$dir/bin/backend"
  for sub in filter daemon driver monitor notifier cgi-bin; do
    ln -sfn "/usr/lib/cups/$sub" "$dir/bin/$sub"
  done
  # CUPS runs a backend as root only when it is owned by root with no access for others.
  install -o root -g root -m 0700 "$backend" "$dir/bin/backend/tvpdf29"
  # A simple backend that only copies the job to a file (for comparisons).
  if [ $# -ge 5 ]; then install -o root -g root -m 0755 "$5" "$dir/bin/backend/copyfile"; fi
  chown -R root:lp "$dir/spool"
  chmod 0710 "$dir/spool"
  chmod 1770 "$dir/spool/tmp"
  cat > "$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
ServerBin $dir/bin
DataDir /usr/share/cups
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
User lp
Group lp
SystemGroup root
FileDevice No
SetEnv NIMBRA_REGISTRY $registry
CONF
  cat > "$dir/etc/cupsd.conf" <<CONF
LogLevel info
Listen $sock
Browsing No
DefaultAuthType None
WebInterface No
MaxJobs 0
MaxJobsPerPrinter 0
MaxJobsPerUser 0
PreserveJobHistory Yes
JobRetryInterval 1
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
CONF
  : > "$dir/etc/printers.conf"
  /usr/sbin/cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
    > "$dir/log/cupsd.out" 2>&1 &
  echo $! > "$dir/cupsd.pid"
  i=0
  while [ ! -S "$sock" ]; do
    i=$((i + 1))
    if [ $i -gt 200 ] || ! kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; then
      echo "cupsd did not start:" >&2
      cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
      exit 1
    fi
    sleep 0.05
  done
  echo "$sock"
  ;;
queue)
  name=$3
  uri=$4
  CUPS_SERVER=$sock /usr/sbin/lpadmin -p "$name" -v "$uri" -m drv:///sample.drv/generic.ppd -E
  CUPS_SERVER=$sock /usr/sbin/cupsaccept "$name" 2>/dev/null || true
  CUPS_SERVER=$sock /usr/sbin/cupsenable "$name"
  ;;
stop)
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do i=$((i + 1)); sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/cupsd.pid"
  fi
  ;;
*)
  echo "usage: $0 start|queue|stop DIR ..." >&2
  exit 2
  ;;
esac
