# Shared by the scripts that run zkmodem through real audio under Wine (the end-to-end
# suite, the engine benchmark): a private PulseAudio daemon with a null sink "zkloop"
# (48 kHz mono; its monitor is the source "zkloop.monitor", which Windows programs see
# as "Monitor of zkloop"), and Hamlib's rigctld with its dummy radio for PTT.
# Source it after scripts/lib/wine-env.sh; zk_wine_cleanup stops what is started here.

# zk_start_pulse DIR: the daemon and its socket under DIR (killed at exit), plus the
# "keeper" stream: without a client asking for low latency the null sink runs up to two
# seconds ahead and Wine's capture loses its first second. PULSE_LATENCY_MSEC=100 keeps
# Wine's playback free of holes on a busy machine; it must be in the environment of
# every Wine process that plays or records.
zk_start_pulse() {
  local dir=$1
  rm -rf "$dir"
  mkdir -p "$dir/run/pulse" "$dir/home"
  chmod 700 "$dir/run"
  cat >"$dir/zk.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/run/pulse/native
load-module module-null-sink sink_name=zkloop rate=48000 channels=1 sink_properties=device.description=zkloop
set-default-sink zkloop
set-default-source zkloop.monitor
EOF
  XDG_RUNTIME_DIR=$dir/run HOME=$dir/home pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n \
    -F "$dir/zk.pa" --log-target="file:$dir/pulse.log" >/dev/null 2>&1 </dev/null &
  zk_wine_pids+=($!)
  export XDG_RUNTIME_DIR=$dir/run PULSE_SERVER=unix:$dir/run/pulse/native PULSE_LATENCY_MSEC=100
  local ready=
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && { ready=1; break; }
    sleep 0.1
  done
  [ -n "$ready" ] || { echo "PulseAudio did not start; see $dir/pulse.log" >&2; return 1; }
  parecord --latency-msec=10 -d zkloop.monitor --rate=48000 --channels=1 --format=s16le --raw /dev/null \
    >/dev/null 2>&1 </dev/null &
  zk_wine_pids+=($!)
}

# A TCP port nobody listens on now.
zk_free_port() {
  local port
  for _ in $(seq 50); do
    port=$(( 20000 + RANDOM % 20000 ))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
  done
  return 1
}

# zk_start_rigctld: the dummy radio on a free port, exported as ZK_RIGCTLD_PORT; it keys
# PTT on "T 1" only when started with -P RIG.
zk_start_rigctld() {
  local port
  port=$(zk_free_port) || { echo "no free port for rigctld" >&2; return 1; }
  rigctld -m 1 -P RIG -t "$port" >/dev/null 2>&1 </dev/null &
  zk_wine_pids+=($!)
  export ZK_RIGCTLD_PORT=$port
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "rigctld did not start on port $port" >&2
  return 1
}
