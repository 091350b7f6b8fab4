# Sourced by the demo, the manager's start-up test and the manager's load figures: a private folder for
# everything the manager, the dial-up service and the stand-in write, and the stand-in started in it.
#   velmo_private_env DIR            exports the folders (settings, runtime, ports, phonebook, state, backups) under DIR
#   velmo_start_standin BIN SCENARIO starts velmo-modem-sim; sets velmo_sim_pid and velmo_sim_port
#   velmo_test_env DIR               for the program tests: the private folders, a runtime folder of their own
#                                    and the offscreen platform
#   velmo_start_manager BIN ERR ...  starts VelmoManager on that stand-in and waits until it reads it ready
velmo_private_env() {
  local dir=$1
  mkdir -p "$dir"
  chmod 700 "$dir"
  export XDG_CONFIG_HOME=$dir/config
  export XDG_STATE_HOME=$dir/state
  export VELMO_PORTS_DIR=$dir/ports
  export VELMO_PHONEBOOK_DIR=$dir/phonebook
  export VELMO_DIALUP_RUNTIME_DIR=$dir/dialup
  export VELMO_SIM_STATE=$dir/modem-sim.state
  # Discovery of an Ethernet unit stays on loopback.
  export VELMO_DISCOVERY_ADDRESS=127.0.0.1
  mkdir -p "$VELMO_PORTS_DIR"
}

velmo_start_standin() {
  local bin=$1 scenario=$2 out
  out=$(dirname "$VELMO_PORTS_DIR")/modem-sim.out
  "$bin/velmo-modem-sim" --scenario "$scenario" >"$out" 2>&1 &
  velmo_sim_pid=$!
  for _ in $(seq 100); do
    grep -q 'port' "$out" && break
    sleep 0.1
  done
  velmo_sim_port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$out" | head -n 1)
  if [ -z "$velmo_sim_port" ]; then
    echo "the modem stand-in did not start:" >&2
    cat "$out" >&2
    return 1
  fi
  head -n 2 "$out"
}

velmo_test_env() {
  velmo_private_env "$1"
  export XDG_RUNTIME_DIR=$1/runtime QT_QPA_PLATFORM=offscreen
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

# velmo_start_manager BIN ERRFILE [ARGS...]: starts VelmoManager on the stand-in started before (its stderr in
# ERRFILE; sets velmo_mgr_pid) and waits up to 30 s for it to read the modem ready; 1 when it did not.
velmo_start_manager() {
  local bin=$1 err=$2
  shift 2
  "$bin/VelmoManager" --use-port "$velmo_sim_port" --no-splash --language pl --report-timing "$@" 2>"$err" &
  velmo_mgr_pid=$!
  for _ in $(seq 300); do
    grep -q 'ready after' "$err" && return 0
    kill -0 "$velmo_mgr_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
