#!/usr/bin/env bash
# Installs what is missing, builds, starts the modem stand-in with a healthy modem and opens VelmoManager on it.
# Everything the demo writes (settings, phonebook, ports folder, the stand-in's device state) lives under
# build/demo/run, so the user's own settings are never touched.
#   DEMO_SCENARIO=card-pin bash scripts/demo.sh     start the stand-in with another scenario
#   DEMO_SCREENSHOT=docs/main-window.png            save a picture of the window once it reads "Gotowy"
#   DEMO_SETTINGS_SCREENSHOTS=docs                  then open the settings window and save each tab as
#                                                   settings-tabN.png in that folder
#   DEMO_MESSAGES_SCREENSHOTS=docs                  put three messages into the stand-in's in-box, open the
#                                                   messages tab and save messages.png and
#                                                   message-compose.png in that folder, then close
#   DEMO_QUIT_WHEN_READY=1                          close the manager once it is ready (for checks)
#   DEMO_LANGUAGE=pl|en                             speak Polish or English (otherwise the desktop's language)
# Without a display (no $DISPLAY or $WAYLAND_DISPLAY) the manager runs on a virtual X server (xvfb-run). It
# always runs under a private D-Bus session bus (dbus-run-session) that ends with it; the bus's address is
# written to build/demo/run/bus-address for gdbus, and the desktop notices the manager sends on it are written
# to build/demo/run/notices.log by velmo-notice-log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
bash scripts/build.sh build/demo -DVELMO_BUILD_TESTS=OFF -DVELMO_BUILD_BENCH=OFF
bin=$root/build/demo/bin

run=$root/build/demo/run
source "$root/scripts/standin-env.sh"
velmo_private_env "$run"
trap 'kill "$velmo_sim_pid" 2>/dev/null; wait "$velmo_sim_pid" 2>/dev/null' EXIT
velmo_start_standin "$bin" "${DEMO_SCENARIO:-healthy-evdo}"
port=$velmo_sim_port

args=(--use-port "$port" --report-timing)
if [ -n "${DEMO_LANGUAGE:-}" ]; then
  args+=(--language "$DEMO_LANGUAGE")
fi
if [ -n "${DEMO_SCREENSHOT:-}" ]; then
  args+=(--screenshot "$(realpath -m "$DEMO_SCREENSHOT")")
fi
if [ -n "${DEMO_SETTINGS_SCREENSHOTS:-}" ]; then
  args+=(--screenshot-settings "$(realpath -m "$DEMO_SETTINGS_SCREENSHOTS")")
fi
if [ -n "${DEMO_MESSAGES_SCREENSHOTS:-}" ]; then
  ctl=("$bin/velmo-modem-sim" ctl)
  if [ "${DEMO_LANGUAGE:-}" = en ]; then
    "${ctl[@]}" sms deliver 5551234567 "Hello! Is the meeting at 3 still on?" >/dev/null
    "${ctl[@]}" sms deliver 5559876543 "Your parcel waits at the pick-up point until Friday." >/dev/null
    "${ctl[@]}" sms deliver 5550001234 "See you soon 😀" >/dev/null
  else
    "${ctl[@]}" sms deliver 5551234567 "Dzień dobry! Czy spotkanie o 15 jest aktualne?" >/dev/null
    "${ctl[@]}" sms deliver 5559876543 "Przesyłka czeka w punkcie odbioru do piątku." >/dev/null
    "${ctl[@]}" sms deliver 5550001234 "Zażółć gęślą jaźń 😀" >/dev/null
  fi
  args+=(--screenshot-messages "$(realpath -m "$DEMO_MESSAGES_SCREENSHOTS")")
fi
if [ "${DEMO_QUIT_WHEN_READY:-0}" = "1" ]; then
  args+=(--quit-when-ready)
fi

echo
echo "VelmoManager opens on the stand-in's port $port. While it runs, try in another terminal:"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl scenario no-service"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl scenario healthy-evdo"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl vanish; sleep 3; VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl appear"
echo "  VELMO_PORTS_DIR=$VELMO_PORTS_DIR $bin/velmo-modem-sim ctl sms deliver 5551234567 \"Dzień dobry\""
echo "Its private session bus, and the notices it sends there:"
echo "  export DBUS_SESSION_BUS_ADDRESS=\$(cat $run/bus-address)"
echo "  gdbus introspect --session --dest com.brivanta.VelmoManager --object-path /com/brivanta/VelmoManager"
echo "  gdbus call --session --dest com.brivanta.VelmoManager --object-path /com/brivanta/VelmoManager --method com.brivanta.VelmoManager.Modem.Connect"
echo "  tail -f $run/notices.log"
echo "Close the window (its x button) to end the demo."
# The web engine of the network setup window refuses to run as root with its sandbox on; only the demo and
# the tests turn the sandbox off.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
# The manager gets a session bus of its own, which ends with it: nothing of the demo stays running. On it, a
# notification service that writes what it is sent to notices.log.
rm -f "$run/bus-address"
: >"$run/notices.log"
manager=(dbus-run-session -- bash -c \
  'echo "$DBUS_SESSION_BUS_ADDRESS" >"$1/bus-address"; "$2/velmo-notice-log" >>"$1/notices.log" & log=$!
   shift 2; status=0; "$@" || status=$?; kill "$log"; exit "$status"' \
  demo "$run" "$bin" "$bin/VelmoManager" "${args[@]}")
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "${manager[@]}"
else
  xvfb-run -a -s "-screen 0 800x600x24" "${manager[@]}"
fi
