#!/usr/bin/env bash
# The gateway end to end on the simulated modem: installs what is needed,
# builds, lays out a fresh program folder under build/demo, starts the
# simulated modem and the service, and shows a message going out and one
# coming in through a scripted client. Ends by itself.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
program=$build/demo
port=${DEMO_PORT:-16395}

"$top/scripts/setup.sh"
"$top/scripts/build.sh"

step() { printf '\n== %s\n' "$*"; }
pids=()
cleanup() {
  # Newest first: the service stops before the modem it talks to.
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
wait_for() { # seconds, description, test command...
  local seconds=$1 what=$2; shift 2
  for _ in $(seq "$((seconds * 5))"); do "$@" && return 0; sleep 0.2; done
  echo "gave up waiting for $what" >&2
  return 1
}

step "Program folder $program"
rm -rf "$program"
cmake --install "$build" --prefix "$program" >/dev/null
cat > "$program/TalvinorSMSSvc.ini" <<INI
[Service Settings]
port=$port
sms_check_interval=10
allowed_time_interval=00:00,23:59
INI

step "Demo user 'demo' (password 'demo'), moderator, may type numbers; two contacts and a group"
"$build/bin/talvinor-adduser" --db "$program/db" --user demo --password demo --moderator --manual-numbers
sqlite3 "$program/db/phonebook.db" <<'SQL'
INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES ('Ann', 'Smith', 'Acme', '+905551110001');
INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES ('Annika', 'Berg', 'Nordic', '+905551110002');
INSERT INTO Groups (GroupName) VALUES ('Annual meeting');
INSERT INTO ContactGroupLink (ContactID, GroupID) VALUES (1, 1), (2, 1);
SQL

step "Simulated modem"
(cd "$program" && exec ./gsmsim --folder "$program" --sent-log "$program/gsmsim-sent.log" 2>"$program/gsmsim.log") &
pids+=($!)
wait_for 10 "the simulated modem" test -L "$program/COM1"
echo "COM1 -> $(readlink "$program/COM1")"

step "Service"
(cd "$program" && exec ./TalvinorSMSSvc) &
pids+=($!)
wait_for 20 "the service to listen on port $port" bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null
echo "listening on port $port"

step "Client: log in, search \"ann\", send a message to a typed number"
"$build/bin/talvinor-talk" --port "$port" --user demo --password demo --search ann \
  --send '+905559990000^^Hello from the Talvinor SMS demo' --wait-pushes 1 --timeout 150 \
  > "$program/client.log" 2>&1 &
client=$!
pids+=($client)
wait_for 20 "the login" grep -q 'sending' "$program/client.log"
cat "$program/client.log"

step "Waiting for the modem to send it (service tick, then modem tick: up to half a minute)"
wait_for 90 "the SMS-SUBMIT" test -s "$program/gsmsim-sent.log"
echo "the simulated modem sent: $(cat "$program/gsmsim-sent.log")"

step "A phone (+905557770000) sends \"demo Hi, this is Bob\" to the gateway"
spool=$program/gsmsim-spool
printf '+905557770000\ndemo Hi, this is Bob' > "$spool/.from-phone"
mv "$spool/.from-phone" "$spool/from-phone.sms"
wait_for 120 "the pushed message" grep -q 'pushed message:' "$program/client.log"
grep 'pushed message:' "$program/client.log"
wait "$client" || true

step "Done"
echo "Logs: $program/TalvinorSMSSvc.log (service), $program/Commands.log (modem commands),"
echo "      $program/gsmsim.log (simulated modem), $program/client.log (client), journalctl -t TalvinorSMSService"
