#!/usr/bin/env bash
# A fault soak: VelmoManager (offscreen, private session bus, RF graph sampling) on the stand-in for MINUTES
# while the stand-in goes through, in a fixed order drawn from SOAK_SEED, every fault mode, every scenario,
# bursts of vendor reports, delivered messages, a vanish and reappearance, and a dial attempt. After each event
# the manager must read the modem ready again (connection state 3, with requests reaching the stand-in after
# the event ended); how long that took is recorded. Each minute it records the manager's resident memory,
# open descriptors and threads. A watchdog reads a D-Bus property (served on the window thread) every second
# and counts answers slower than 1 s.
#   bash bench/soak.sh MINUTES [BIN_DIR]
# Fails (exit 1) when the manager crashes, an event is not recovered within SOAK_RECOVERY_S (90 s), or an
# answer was slow. SOAK_TABLE=FILE also writes the per-minute table as Markdown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--inner" ]; then
  minutes=$2 bin=$3
  seed=${SOAK_SEED:-2026}
  recovery_s=${SOAK_RECOVERY_S:-90}
  work=$(mktemp -d)
  mgr= watchdog= sampler=
  cleanup() {
    kill $watchdog $sampler 2>/dev/null || true
    kill "$mgr" 2>/dev/null || true
    kill "${velmo_sim_pid:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
  }
  trap cleanup EXIT
  source "$root/scripts/standin-env.sh"
  velmo_test_env "$work"
  velmo_start_standin "$bin" healthy-evdo >/dev/null
  ctl() { "$bin/velmo-modem-sim" ctl "$@"; }

  started=0
  velmo_start_manager "$bin" "$work/mgr.err" --open-rf-graph-when-ready && started=1
  mgr=$velmo_mgr_pid
  now_ms() { echo $(($(date +%s%N) / 1000000)); }
  alive() { kill -0 "$mgr" 2>/dev/null; }
  # One property of the manager's interface; empty when it does not answer within 10 s.
  prop() {
    gdbus call --session --timeout 10 --dest com.brivanta.VelmoManager --object-path /com/brivanta/VelmoManager \
      --method org.freedesktop.DBus.Properties.Get com.brivanta.VelmoManager.Modem "$1" 2>/dev/null |
      sed -n "s/^(<\(.*\)>,)$/\1/p" | tr -d "'"
  }
  # Ready, and the stand-in has been asked something since the event ended.
  recovered() {
    [ "$(prop ConnectionState)" = 3 ] && [ "$(ctl requests | grep -vc '^\(ok\|end\)$')" -gt 0 ]
  }
  wait_recovered() {
    local start deadline
    start=$(now_ms)
    deadline=$((start + recovery_s * 1000))
    while [ "$(now_ms)" -lt "$deadline" ]; do
      alive || return 1
      if recovered; then
        echo $(($(now_ms) - start))
        return 0
      fi
      sleep 0.2
    done
    return 1
  }

  if ((!started)); then
    echo "soak: the manager did not read the stand-in ready" >&2
    cat "$work/mgr.err" >&2
    exit 1
  fi

  # The watchdog: one property read a second; the slow ones are counted.
  (
    while kill -0 "$mgr" 2>/dev/null; do
      a=$(now_ms)
      prop StatusText >/dev/null || true
      b=$(now_ms)
      echo "$((b - a))" >>"$work/answers"
      [ $((b - a)) -le 1000 ] || echo "$(date +%T) property read took $((b - a)) ms" >>"$work/slow"
      sleep 1
    done
  ) &
  watchdog=$!
  # The sampler: one line a minute (and one at the start).
  (
    minute=0
    while kill -0 "$mgr" 2>/dev/null; do
      rss=$(awk '/^VmRSS/ {print $2}' /proc/"$mgr"/status)
      threads=$(awk '/^Threads/ {print $2}' /proc/"$mgr"/status)
      fds=$(ls /proc/"$mgr"/fd | wc -l)
      echo "$minute $rss $fds $threads" >>"$work/minutes"
      minute=$((minute + 1))
      sleep 60
    done
  ) &
  sampler=$!

  # The events. A fault holds for a few seconds and is cleared; a scenario is worn for a while and the
  # healthy one put back.
  events=(fault:no-reply fault:reply-only-to-retry fault:error-status fault:bad-fcs fault:flood
    fault:slow=400 fault:vanish:0x0C vanish-appear reports sms dial)
  while read -r scenario; do
    [ "$scenario" = healthy-evdo ] || events+=("scenario:$scenario")
  done < <(ctl scenarios | grep -v '^\(ok\|end\)$' | awk '{print $1}')
  RANDOM=$seed
  shuffle() {
    local i j t
    for ((i = ${#events[@]} - 1; i > 0; i--)); do
      j=$((RANDOM % (i + 1)))
      t=${events[i]} events[i]=${events[j]} events[j]=$t
    done
  }
  run_event() {
    case $1 in
      fault:vanish*)
        # Gone at the next request of that code, until it appears again.
        ctl fault "${1#fault:}" >/dev/null
        sleep 4
        ctl clear >/dev/null
        ctl appear >/dev/null || true ;;
      fault:*)
        ctl fault "${1#fault:}" >/dev/null
        sleep 6
        ctl clear >/dev/null ;;
      vanish-appear)
        ctl vanish >/dev/null
        sleep 4
        ctl appear >/dev/null ;;
      scenario:*)
        ctl scenario "${1#scenario:}" >/dev/null
        sleep 6
        ctl scenario healthy-evdo >/dev/null ;;
      reports)
        for _ in $(seq 5); do
          ctl report 40 70 80 90 >/dev/null
          ctl report 4 0x1234 >/dev/null
          ctl report 36 0x0102 >/dev/null
          ctl report 28 1 5 >/dev/null
        done ;;
      sms)
        ctl sms deliver 6195550100 "Wiadomość z próby: zażółć gęślą jaźń $RANDOM" >/dev/null ;;
      dial)
        # This kernel may have no PPP: the dial ends in an error, which the manager must survive.
        gdbus call --session --timeout 10 --dest com.brivanta.VelmoManager \
          --object-path /com/brivanta/VelmoManager --method com.brivanta.VelmoManager.Modem.Connect \
          >/dev/null 2>&1 || true
        sleep 8 ;;
    esac
    ctl clear-requests >/dev/null
  }

  end=$((SECONDS + minutes * 60))
  failures=0
  start_s=$SECONDS
  while [ "$SECONDS" -lt "$end" ] && alive; do
    shuffle
    for event in "${events[@]}"; do
      [ "$SECONDS" -lt "$end" ] && alive || break
      at=$((SECONDS - start_s))
      run_event "$event"
      if ms=$(wait_recovered); then
        echo "$((at / 60)) $event $ms" >>"$work/events"
      else
        echo "$((at / 60)) $event -" >>"$work/events"
        echo "soak: not recovered after $event (minute $((at / 60)))" >&2
        failures=$((failures + 1))
        alive || break
      fi
    done
  done

  crashed=0
  alive || crashed=1
  # The last sample, at the end.
  if ((!crashed)); then
    echo "end $(awk '/^VmRSS/ {print $2}' /proc/"$mgr"/status) $(ls /proc/"$mgr"/fd | wc -l)" \
      "$(awk '/^Threads/ {print $2}' /proc/"$mgr"/status)" >>"$work/minutes"
  fi
  kill $watchdog $sampler 2>/dev/null || true
  wait $watchdog $sampler 2>/dev/null || true
  slow=$( [ -f "$work/slow" ] && wc -l <"$work/slow" || echo 0)

  # The table: per minute, the events and their recovery, and the process's figures.
  table=$(awk '
    FNR == 1 { file++ }
    file == 1 { m = $1; rss[m] = $2; fds[m] = $3; thr[m] = $4; order[++n] = m; next }
    file == 2 { m = $1; ev[m]++; if ($3 == "-") lost[m]++; else { ok[m]++; if ($3 > worst[m]) worst[m] = $3 } }
    END {
      print "| minute | events | recovered | slowest recovery | resident memory | descriptors | threads |"
      print "|-------:|-------:|----------:|-----------------:|----------------:|------------:|--------:|"
      for (i = 1; i <= n; i++) {
        m = order[i]
        printf "| %s | %d | %d | %s | %.1f MiB | %d | %d |\n", m, ev[m], ok[m],
          (ok[m] ? sprintf("%.1f s", worst[m] / 1000) : "-"), rss[m] / 1024, fds[m], thr[m]
      }
    }' "$work/minutes" "$work/events")
  echo "$table"
  if [ -n "${SOAK_TABLE:-}" ]; then
    echo "$table" >"$SOAK_TABLE"
  fi
  echo "events per kind (recovered/run, slowest recovery):"
  awk '{ k = $2; run[k]++; if ($3 != "-") { ok[k]++; if ($3 > w[k]) w[k] = $3 } }
    END { for (k in run) printf "  %-28s %d/%d  %.1f s\n", k, ok[k], run[k], w[k] / 1000 }' \
    "$work/events" | sort
  answers=$(wc -l <"$work/answers")
  slowest=$(sort -n "$work/answers" | tail -n 1)
  echo "watchdog: $answers property reads, slowest ${slowest} ms, $slow slower than 1 s"
  [ "$slow" -eq 0 ] || cat "$work/slow" >&2
  if ((crashed)); then
    echo "soak: the manager ended during the soak" >&2
    tail -n 20 "$work/mgr.err" >&2
  fi
  ((crashed == 0 && failures == 0 && slow == 0))
  exit
fi

minutes=${1:?usage: bench/soak.sh MINUTES [BIN_DIR]}
bin=$(cd "${2:-$root/build/bench/bin}" && pwd)
echo "fault soak: ${minutes} min, seed ${SOAK_SEED:-2026}"
dbus-run-session -- bash "$0" --inner "$minutes" "$bin"
