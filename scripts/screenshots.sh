#!/usr/bin/env bash
# Runs the installed windows under a virtual X server on a seeded program
# folder and saves what they show as PNG files under build/screenshots/
# (or $BUILD_DIR/screenshots): one picture per page or tab, in every
# language. Look at every picture before calling a window done.
#
#   scripts/screenshots.sh            all programs that are built
#   scripts/screenshots.sh console    only the console
#
# Each program is one shoot_<program> function below: it starts the
# program, waits for its window and saves its pictures. Needs xvfb-run,
# xdotool and sqlite3 (packages.txt) and installs what only it needs
# (screenshot-packages.txt).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=$build/screenshots
languages=(tr en)
# The system's language that goes with each: the programs run in it, so
# that Qt's own texts follow it; the tools around them keep their locale.
declare -A system_locale=([tr]=tr_TR.UTF-8 [en]=en_US.UTF-8)

# A few rows with Turkish letters, so that cut or broken texts show.
seed() {
  /usr/bin/python3 - "$folder/bulk-list.xlsx" <<'PY'
import sys
import openpyxl
book = openpyxl.Workbook()
sheet = book.active
for row in [("Ad", "Telefon"), ("Gülşen Doğan", 5321234567), ("Mehmet Kılıç", "0541 765 43 21"),
            ("Zeynep Çelik", "+90 (555) 987-65-43"), ("İbrahim Şahin", "0532 111 22 33"), ("Harf", "abc"),
            ("Gülizar Şükriye Çağlayangil-Küçükosmanoğlu", "+90 (532) 123-45-678")]:
    sheet.append(row)
book.save(sys.argv[1])
PY
  sqlite3 "$folder/db/application.db" <<'SQL'
INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, ManualNumberPermission)
VALUES ('ayse', 'D41D8CD98F00B204E9800998ECF8427E', 'Ayşe', 'Yılmaz', 1, 0),
       ('cagri', 'D41D8CD98F00B204E9800998ECF8427E', 'Çağrı', 'Öztürk', 0, 1),
       ('ibrahim', 'D41D8CD98F00B204E9800998ECF8427E', 'İbrahim', 'Şahin', 0, 0);
SQL
  sqlite3 "$folder/db/phonebook.db" <<'SQL'
INSERT INTO Contact (FirstName, LastName, Company, Phonenumber)
VALUES ('Gülşen', 'Doğan', 'Talvinor Lojistik', '+905321234567'),
       ('Mehmet', 'Kılıç', 'Üsküdar Eczanesi', '05417654321'),
       ('Zeynep', 'Çelik', '', '+905559876543'),
       ('İbrahim', 'Aydın', 'Ilıca Turizm', '05329998877'),
       ('Çağrı', 'Işık', 'İstanbul Kargo', '+905301112233'),
       ('Gülizar Şükriye', 'Çağlayangil-Küçükosmanoğlu', 'Güneydoğu Anadolu Tekstil Sanayi', '+90 (532) 123-45-678');
INSERT INTO Groups (GroupName) VALUES ('Satış Ekibi'), ('Müşteriler'), ('Çağrı Merkezi');
INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1), (1, 3), (2, 2), (2, 3);
SQL
}

# Window id of the process $1, once it has mapped a window.
window_of() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n1 || true)
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window of process $1" >&2
  return 1
}

shot() { # window file
  sleep 0.5
  import -window "$1" "$2"
  echo "$2"
}

# The client logs in to the installed service on the simulated modem as the
# seeded user "ayse", whose stored digest it keeps as a saved password.
shoot_client() { # language
  local lang=$1 port=$((20000 + RANDOM % 20000)) pids=() pid win page
  printf '[Service Settings]\r\nport=%s\r\nallowed_time_interval=00:00,23:59\r\nsms_check_interval=3\r\n' "$port" >"$folder/TalvinorSMSSvc.ini"
  (cd "$folder" && exec ./gsmsim --folder "$folder" --sent-log "$folder/gsmsim-sent.log" >/dev/null 2>&1) &
  pids+=($!)
  for _ in $(seq 100); do [[ -L $folder/COM1 ]] && break; sleep 0.1; done
  (cd "$folder" && exec ./TalvinorSMSSvc >/dev/null 2>&1) &
  pids+=($!)
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.2; done
  # The virtual display has no sound card: the sound stays off, or its
  # error box would stand in front of the window.
  printf '[SMSClient]\r\nLanguage=%s\r\nServerIP=127.0.0.1\r\nServerPort=%s\r\nUserName=ayse\r\nSavePassword=1\r\nPassword=D41D8CD98F00B204E9800998ECF8427E\r\nAlpha=230\r\nSound=0\r\n' \
    "$lang" "$port" >"$folder/TalvinorSMSClient.ini"
  env -u LANGUAGE LANG="${system_locale[$lang]}" LC_ALL="${system_locale[$lang]}" "$folder/TalvinorSMSClient" &
  pid=$!
  win=$(window_of "$pid")
  # Places in the window: the action buttons page action, home and back
  # at y 422; menu entry i at (140, 127 + 54 (i - 1)).
  click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.3; }
  # Home twice: a click while an alert shows only closes the alert.
  menu() { click 151 422; click 151 422; click 140 $((127 + 54 * ($1 - 1))); }
  shot "$win" "$out/client-$lang-page5.png"
  # The login gate's alert: the inbox before the login.
  menu 2
  shot "$win" "$out/client-$lang-alert.png"
  click 151 224
  click 239 422
  sleep 1.5
  shot "$win" "$out/client-$lang-page0.png"
  # Two messages from phones for ayse, listed once the service has
  # delivered them; then the first one opened.
  deliver() { printf '%s\n%s' "$1" "$2" >"$folder/gsmsim-spool/.$3" && mv "$folder/gsmsim-spool/.$3" "$folder/gsmsim-spool/$3.sms"; }
  local before
  before=$(ls "$folder/users/ayse/unread" 2>/dev/null | wc -l)
  deliver +905321234567 "ayse Toplantı yarın 10:00'da, Üsküdar şubesinde." "shot-$lang-1"
  deliver +905417654321 "ayse İlaçlar hazır, öğleden sonra uğrayabilirsiniz." "shot-$lang-2"
  for _ in $(seq 120); do
    [[ $(ls "$folder/users/ayse/unread" 2>/dev/null | wc -l) -ge $((before + 2)) ]] && break
    sleep 0.5
  done
  # The new-message alert goes with the next status tick.
  sleep 4
  for page in 1 2 3 4; do
    menu "$page"
    shot "$win" "$out/client-$lang-page$page.png"
  done
  menu 2
  xdotool mousemove --window "$win" 92 130 click --repeat 2 --delay 80 1
  sleep 0.3
  shot "$win" "$out/client-$lang-page2-opened.png"
  # The phone book: a search for "e", every row ticked.
  menu 1
  click 256 124
  click 132 110
  xdotool type --delay 50 e
  xdotool key Return
  sleep 1
  click 70 365
  shot "$win" "$out/client-$lang-page7.png"
  # Three rows ticked from the keyboard: the first two contacts and the
  # second group (the rows are Gülşen, Mehmet, Müşteriler, Satış, Zeynep).
  click 150 365
  click 150 158
  for key in space Down space Down Down space; do xdotool key "$key"; done
  sleep 0.3
  shot "$win" "$out/client-$lang-page7-three.png"
  # The ticked rows as recipients, and a text past its limit: Turkish
  # letters make it 70, so the counter is red.
  click 239 422
  click 132 290
  xdotool type --delay 20 "Yarınki toplantı saat 10:00'da Kadıköy şubesinde; lütfen raporları getirin."
  shot "$win" "$out/client-$lang-page1-compose.png"
  # A shorter text goes out to the three, and the sent list shows a copy
  # for each.
  xdotool key ctrl+a
  xdotool type --delay 20 "Toplantı yarın 10:00'da."
  click 239 422
  sleep 0.5
  menu 3
  shot "$win" "$out/client-$lang-page3-sent.png"
  kill "$pid" "${pids[@]}"
  wait "$pid" "${pids[@]}" 2>/dev/null || true
  # All of one language side by side, as the README shows them.
  montage -mode concatenate -tile 4x "$out/client-$lang-page5.png" "$out/client-$lang-alert.png" \
    "$out"/client-"$lang"-page{0,1-compose,2,3-sent,4,7}.png "$out/client-$lang.png"
}

shoot_console() { # language
  local lang=$1
  printf '[SMSServer]\r\nLanguage=%s\r\nAlpha=230\r\n' "$lang" >"$folder/TalvinorSMSServer.ini"
  env -u LANGUAGE LANG="${system_locale[$lang]}" LC_ALL="${system_locale[$lang]}" "$folder/TalvinorSMSServer" &
  local pid=$! win tab
  win=$(window_of "$pid")
  for tab in 0 1 2 3 4; do
    # The tab buttons: 77 x 19 pixels each, from (46, 38).
    xdotool mousemove --window "$win" $((46 + 77 * tab + 38)) 47 click 1
    shot "$win" "$out/console-$lang-tab$tab.png"
  done
  shoot_console_bulk "$win" "$lang"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# The bulk tab with an imported list and a message past its limit.
shoot_console_bulk() { # window language
  local win=$1
  xdotool mousemove --window "$win" $((46 + 77 * 3 + 38)) 47 click 1
  # The import button; the file dialog and then the box with the count take
  # the keyboard.
  xdotool mousemove --window "$win" 119 331 click 1
  sleep 1
  import -window root "$out/console-$2-import-dialog.png"
  echo "$out/console-$2-import-dialog.png"
  xdotool type --delay 5 "$folder/bulk-list.xlsx"
  xdotool key Return
  sleep 1
  xdotool key Return
  # The message field: a Turkish greeting past the 70 characters of UCS2.
  xdotool mousemove --window "$win" 464 184 click 1
  xdotool type --delay 5 "Sayın [[N]], yarınki toplantımız saat 10:00'da başlayacaktır. Lütfen zamanında gelin."
  shot "$win" "$out/console-$2-bulk.png"
}

# Inside the virtual X server: shoot one program in one language.
if [[ ${1:-} == --inside ]]; then
  folder=$2 out=$3
  "shoot_$4" "$5"
  exit 0
fi

"$top/scripts/setup.sh" "$top/scripts/screenshot-packages.txt"
programs=("$@")
if [[ ${#programs[@]} -eq 0 ]]; then
  for p in console client; do
    declare -F "shoot_$p" >/dev/null && programs+=("$p")
  done
fi

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cmake --install "$build" --prefix "$folder" >/dev/null
seed
mkdir -p "$out"
for p in "${programs[@]}"; do
  for lang in "${languages[@]}"; do
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside "$folder" "$out" "$p" "$lang"
  done
done
