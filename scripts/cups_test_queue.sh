#!/usr/bin/env bash
# A private print server for the printing tests: cupsd with its own settings,
# spool and socket in FOLDER, run as the current user, never touching the
# system's printers. Its queues print to files:
# (through a small backend of this folder: the server's own file device
# writes nothing for a queue without a driver)
#   durva_test    -> FOLDER/out/durva_test.txt (takes jobs)
#   durva_edit    -> FOLDER/out/durva_edit.txt (takes jobs)
#   durva_stopped -> FOLDER/out/durva_stopped.txt (stopped)
#   durva_closed  -> FOLDER/out/durva_closed.txt (refuses jobs)
#   durva_haslo   -> FOLDER/out/durva_haslo.txt (asks for a password no one has)
# Besides the socket the server listens on a free port of 127.0.0.1, written
# to FOLDER/tcp_port: over the socket the server knows the user without a
# password, so only a network client is asked for one.
# Usage: cups_test_queue.sh start FOLDER   (prints the socket path)
#        cups_test_queue.sh stop FOLDER
set -euo pipefail
cmd="${1:-}"
dir="${2:-}"
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop FOLDER" >&2; exit 2; }
sock="$dir/cups.sock"

case "$cmd" in
start)
  command -v cupsd >/dev/null || { echo "cupsd is not installed" >&2; exit 1; }
  mkdir -p "$dir"/{spool,cache,state,log,out,ppd}
  chmod 0755 "$dir" "$dir"/*
  user="$(id -un)"
  group="$(id -gn)"
  mkdir -p "$dir/bin/backend"
  ln -sfn /usr/lib/cups/filter "$dir/bin/filter"
  ln -sfn /usr/lib/cups/daemon "$dir/bin/daemon"
  cat >"$dir/bin/backend/durvafile" <<'EOF'
#!/bin/sh
# durvafile:/path - appends each job to the file.
[ $# -eq 0 ] && { echo 'direct durvafile "Unknown" "File for tests"'; exit 0; }
out="${DEVICE_URI#durvafile:}"
if [ -n "$6" ]; then cat "$6" >>"$out"; else cat >>"$out"; fi
EOF
  # Mode 0700: run as the server's own user, who owns the output files.
  chmod 0700 "$dir/bin/backend/durvafile"
  # A port nobody answers on now; the server may still lose it in a race,
  # and then the tests that need it are skipped.
  port=""
  for _ in $(seq 1 20); do
    p=$((40000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then port=$p; break; fi
  done
  cat >"$dir/cupsd.conf" <<EOF
Listen $sock
${port:+Listen 127.0.0.1:$port}
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
JobRetryLimit 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /printers/durva_haslo>
  AuthType Basic
  Require user durva_nikt
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cat >"$dir/cups-files.conf" <<EOF
FileDevice Yes
ServerBin $dir/bin
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/spool
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
EOF
  # Run by root, cupsd takes its own unprivileged user for the jobs.
  if [ "$(id -u)" -ne 0 ]; then
    printf 'User %s\nGroup %s\nSystemGroup %s\n' "$user" "$group" "$group" >>"$dir/cups-files.conf"
  fi
  cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.started"
  for _ in $(seq 1 100); do
    [ -S "$sock" ] && break
    kill -0 "$(cat "$dir/cupsd.started")" 2>/dev/null || { cat "$dir/log/cupsd.out" >&2; exit 1; }
    sleep 0.1
  done
  [ -S "$sock" ] || { echo "cupsd did not open its socket" >&2; exit 1; }
  rm -f "$dir/tcp_port"
  if [ -n "$port" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then echo "$port" >"$dir/tcp_port"; fi
  for q in durva_test durva_edit durva_stopped durva_closed durva_haslo; do
    : >"$dir/out/$q.txt"
    lpadmin -h "$sock" -p "$q" -v "durvafile:$dir/out/$q.txt" -E 2>>"$dir/log/lpadmin.out"
  done
  cupsdisable -h "$sock" durva_stopped
  cupsreject -h "$sock" durva_closed
  echo "$sock"
  ;;
stop)
  if [ -f "$dir/cupsd.started" ]; then
    kill "$(cat "$dir/cupsd.started")" 2>/dev/null || true
    rm -f "$dir/cupsd.started"
  fi
  ;;
*)
  echo "usage: $0 start|stop FOLDER" >&2
  exit 2
  ;;
esac
