#!/usr/bin/env bash
# Runs Meltrix on this machine against a private broker, two simulated machines (an MTConnect
# adapter and a machine of the maker's protocol), one machine that delivers its data over
# MQTT, and a simulated cloud. Shows the live values and acknowledged summaries for a minute
# (DEMO_SECONDS, or until Ctrl-C), then stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

scripts/setup.sh

BUILD="$ROOT/build/demo"
echo "== Building (Release) in $BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMELTRIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)" | tail -n 1
BIN="$BUILD/bin"

USED_PORTS=" "
free_port() {
  local port
  while true; do
    port=$((20000 + RANDOM % 40000))
    case "$USED_PORTS" in *" $port "*) continue ;; esac
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      USED_PORTS="$USED_PORTS$port "
      echo "$port"
      return
    fi
  done
}

HOME_DIR="$BUILD/demo-home"
rm -rf "$HOME_DIR"
mkdir -p "$HOME_DIR/cloud"
BROKER_PORT=$(free_port); USED_PORTS="$USED_PORTS$BROKER_PORT "
MTC_PORT=$(free_port); USED_PORTS="$USED_PORTS$MTC_PORT "
BRK_PORT=$(free_port)
PIDS=()

cleanup() {
  trap - EXIT INT TERM
  echo
  echo "== Stopping"
  # The agent first: it persists what the cloud has not acknowledged.
  if [ -n "${MELTRIX_PID:-}" ] && kill -0 "$MELTRIX_PID" 2>/dev/null; then
    kill -TERM "$MELTRIX_PID"
    wait "$MELTRIX_PID" 2>/dev/null || true
  fi
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  echo
  echo "== Where things are"
  echo "  machine list and settings: $HOME_DIR/meltrix.cfg, $HOME_DIR/meltrix.ini"
  echo "  log files:                 $HOME_DIR/Logs/"
  echo "  summary batches on disk:   $HOME_DIR/Resumo/ ($(ls "$HOME_DIR/Resumo" 2>/dev/null | wc -l) files)"
  echo "  rule cache:                $HOME_DIR/Regras/"
  echo "  summaries the cloud got:   $HOME_DIR/cloud/"
  for file in "$HOME_DIR"/cloud/*.txt; do
    [ -e "$file" ] || continue
    echo "    $(basename "$file" .txt): $(grep -c '^\*\*\*' "$file") summaries acknowledged"
  done
}
trap cleanup EXIT
trap 'exit 0' INT TERM

echo "== Broker on 127.0.0.1:$BROKER_PORT"
cat > "$HOME_DIR/mosquitto.conf" <<CONF
listener $BROKER_PORT 127.0.0.1
allow_anonymous true
CONF
mosquitto -c "$HOME_DIR/mosquitto.conf" >"$HOME_DIR/mosquitto.log" 2>&1 &
PIDS+=($!)
sleep 0.5

echo "== Machines: MTConnect adapter on $MTC_PORT, maker's protocol on $BRK_PORT, one MQTT machine"
"$BIN/shdr-sim" --mode mtconnect --port "$MTC_PORT" --state-ticks 6 --quiet &
PIDS+=($!)
"$BIN/shdr-sim" --mode brelk --port "$BRK_PORT" --state-ticks 6 --quiet &
PIDS+=($!)
"$BIN/cloud-sim" --port "$BROKER_PORT" --model 1 --summaries-dir "$HOME_DIR/cloud" --quiet &
PIDS+=($!)

# The installation: three machines of model 1 and the local broker.
printf 'MTC001:127.0.0.1:%s:MTConnect:Lathe (MTConnect):1:1:1:False|BRK001:127.0.0.1:%s:BrelkProtocol:Mill (maker protocol):1:1:1:False|MQT001:127.0.0.1:7878:MQTT:Press (MQTT):1:1:1:False|\r\n' \
  "$MTC_PORT" "$BRK_PORT" > "$HOME_DIR/meltrix.cfg"
cat > "$HOME_DIR/meltrix.ini" <<INI
[MQTT]
Padrao=0
Host=127.0.0.1
User=
Password=
Port=$BROKER_PORT
UseSsl=0
Description=DEMO
INI

echo "== Meltrix (service mode), base folder $HOME_DIR"
MELTRIX_HOME="$HOME_DIR" "$BIN/meltrix" &
MELTRIX_PID=$!

# The MQTT machine sends its values as DATAINPUT messages.
(
  state=1
  while true; do
    for i in 1 2 3 4 5 6; do
      mosquitto_pub -p "$BROKER_PORT" -t /IoT/MQT001/DATAINPUT -m "H1|$state|SPINDLE|$((800 + RANDOM % 50))" || true
      sleep 1
    done
    state=$((1 - state))
  done
) &
PIDS+=($!)

SECONDS_TO_RUN=${DEMO_SECONDS:-60}
echo "== Live for $SECONDS_TO_RUN s (Ctrl-C to stop): machine states, values and summaries"
mosquitto_sub -p "$BROKER_PORT" -v -t '/IoT/+/H1' -t '/IoT/+/DADOS' -t '/IoT/+/HORIMETRO' \
  -t '/IoT/+/RESUMO' -t '/IoT/+/RESUMOACK' -t '/IoT/+/ALARME' -F '%t %p' 2>/dev/null \
  > >(awk '{ gsub(/\r/, ""); if (length($0) > 110) $0 = substr($0, 1, 107) "..."; print; fflush() }') &
PIDS+=($!)
sleep "$SECONDS_TO_RUN"
