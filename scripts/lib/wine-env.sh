# Shared by the scripts that run Windows programs under Wine (the end-to-end suite, the
# benchmarks, the run command): a virtual display, a Wine prefix with one persistent
# wineserver, serial pairs seen as COM ports, and the clean-up of all of them.
# Source it; the caller sets WINEPREFIX first and calls zk_wine_cleanup on exit.

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
zk_wine_pids=()

winpath() { echo "Z:${1//\//\\}"; }

# Starts Xvfb on display $1 (or a free-looking one when empty) and exports DISPLAY.
zk_start_display() {
  local display=${1:-:$(( 90 + RANDOM % 9 ))}
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  zk_wine_pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "Xvfb did not start on $display" >&2
  return 1
}

# Makes the prefix on first use and leaves one persistent wineserver running for it.
# Right after `wineboot -i` the boot's own server is still up and `wineserver -p` would
# refuse to start a second one, so the boot's server is waited out first.
zk_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1 </dev/null || true
  mkdir -p "$WINEPREFIX/dosdevices"
}

# zk_serial_pair DIR A B: a connected pair of pseudo-terminals DIR/ptyA and DIR/ptyB,
# seen by Windows programs as COMA and COMB.
zk_serial_pair() {
  local dir=$1 a=$2 b=$3
  socat pty,raw,echo=0,link="$dir/pty$a" pty,raw,echo=0,link="$dir/pty$b" 2>/dev/null &
  zk_wine_pids+=($!)
  for _ in $(seq 50); do [ -e "$dir/pty$a" ] && [ -e "$dir/pty$b" ] && break; sleep 0.1; done
  ln -sfn "$dir/pty$a" "$WINEPREFIX/dosdevices/com$a"
  ln -sfn "$dir/pty$b" "$WINEPREFIX/dosdevices/com$b"
}

# zk_ports_reg N...: registry lines declaring COMN for each N as its dosdevices link
# points, the way Wine documents serial ports, so programs find them with QueryDosDevice
# as on Windows. The old declarations go first.
zk_ports_reg() {
  local n
  printf '[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for n in "$@"; do
    printf '"COM%s"="%s"\n' "$n" "$(readlink "$WINEPREFIX/dosdevices/com$n")"
  done
  printf '\n'
}

# zk_import_reg FILE: imports a REGEDIT4 file into the prefix, then restarts the server:
# Wine's mount manager reads the serial ports only when the prefix's services start.
zk_import_reg() {
  wine reg import "$(winpath "$1")" >/dev/null 2>&1 </dev/null
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p >/dev/null 2>&1 </dev/null || true
}

# The Linux process id of this prefix's wineserver, or nothing: it holds the lock in the
# server folder Wine names after the prefix's device and inode numbers.
zk_wineserver_pid() {
  local id lock
  id=server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for lock in /tmp/.wine-"$(id -u)"/"$id"/lock /tmp/wine-*/"$id"/lock; do
    [ -e "$lock" ] || continue
    fuser "$lock" 2>/dev/null | tr -s ' ' '\n' | grep -m1 '[0-9]' && return 0
  done
  return 0
}

# The lines every benchmark prints first.
zk_bench_header() {
  echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(free -g | awk '/^Mem:/{print $2}') GB"
  echo "system:  $(uname -sr), $(wine --version 2>/dev/null | head -1), Xvfb ${DISPLAY:-none}"
  echo "load:    $(uptime | sed 's/.*load average: //')"
}

zk_wine_cleanup() {
  wineserver -k 2>/dev/null || true
  local pid
  for pid in "${zk_wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
