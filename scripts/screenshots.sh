#!/usr/bin/env bash
# Walks the operator's whole flow on a fresh database and fresh virtual cards under a
# virtual X server and saves a screenshot of every window on the way into docs/screenshots/.
#
#   bash scripts/screenshots.sh [path/to/tagor] [output folder]
#
# Needs xvfb, xdotool, x11-utils and imagemagick; openbox, when installed, draws the title
# bars (apt-get install -y xvfb xdotool x11-utils imagemagick openbox). The program is
# copied into a scratch folder first, so the database and the card files are new.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

if [[ "${1:-}" != "--inner" ]]; then
    TAGOR=${1:-build/tagor}
    OUT=${2:-docs/screenshots}
    if [[ ! -x "$TAGOR" ]]; then
        cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGOR_BUILD_TESTS=OFF \
            -DTAGOR_BUILD_BENCH=OFF
        cmake --build build --target tagor
        TAGOR=build/tagor
    fi
    for tool in xvfb-run xdotool xwininfo import convert; do
        command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
    done
    exec xvfb-run -a -s "-screen 0 1900x900x24" bash "$0" --inner "$(realpath "$TAGOR")" \
        "$(realpath -m "$OUT")"
fi

TAGOR=$2
OUT=$3
mkdir -p "$OUT"
WORK=$(mktemp -d /tmp/tagor-shots.XXXXXX)
cp "$TAGOR" "$WORK/tagor"
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

if command -v openbox >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    PIDS+=($!)
    sleep 1
fi
(cd "$WORK" && exec ./tagor) >"$WORK/tagor.log" 2>&1 &
PIDS+=($!)

step() { echo "== $*"; }

# The window whose title is exactly $1 (waits for it to be shown).
win() {
    local id i
    for i in $(seq 1 50); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.2
    done
    echo "window \"$1\" did not appear" >&2
    return 1
}

# Waits until no window titled $1 is shown.
gone() {
    local i
    for i in $(seq 1 50); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    echo "window \"$1\" did not close" >&2
    return 1
}

# The upper-left corner of a window's client area on the screen.
origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}END{print x, y}'
}

# Clicks at x,y of a window's client area, then lets the program react.
click() {
    local o
    o=($(origin "$1"))
    xdotool mousemove $((o[0] + $2)) $((o[1] + $3))
    sleep 0.2
    xdotool click 1
    sleep "${4:-0.8}"
}

# Gives a window the keyboard and sends it keys.
keys() {
    local w=$1
    shift
    xdotool windowactivate --sync "$w" >/dev/null 2>&1 || true
    sleep 0.2
    xdotool key --delay 80 "$@"
    sleep 0.5
}

typetext() {
    xdotool type --delay 60 "$1"
    sleep 0.3
}

# A dialog whose title bar lies off the screen is brought into view for its picture.
inview() {
    local o
    o=($(origin "$1"))
    echo "   \"$(xdotool getwindowname "$1")\" opened at ${o[0]},${o[1]}"
    if ((o[1] < 20)); then
        xdotool windowmove "$1" 164 200
        sleep 0.5
    fi
}

# Saves the window with its title bar (when a window manager draws one).
shot() {
    import -frame -window "$1" "$OUT/$2"
    echo "   $2"
}

MAIN=$(win Tagor)
VR=$(win "Виртуальный считыватель")
sleep 1.5
xdotool windowmove "$MAIN" 20 60
xdotool windowmove "$VR" 720 60
sleep 1

# Points of the main window's client area.
main_activate() { click "$MAIN" 397 39 "$@"; }
main_back() { click "$MAIN" 634 39; }
lnk_profiles() { click "$MAIN" 179 108; }
lnk_profile_new() { click "$MAIN" 117 153 1.2; }
lnk_master() { click "$MAIN" 139 185 1.2; }
lnk_reader() { click "$MAIN" 126 204 0.3; }
lnk_cards() { click "$MAIN" 479 108; }
lnk_card_new() { click "$MAIN" 444 153 1.2; }
lnk_erase() { click "$MAIN" 419 169 1.2; }
lnk_change() { click "$MAIN" 454 185 1.2; }
lnk_read() { click "$MAIN" 465 204 1.2; }

# The virtual reader window.
vr_put_on() { click "$VR" 98 370 "${1:-0.8}"; }
vr_take_off() { click "$VR" 268 370 0.5; }
vr_new_card() { # a blank 1K card with the UID $1, selected in the list
    click "$VR" 176 537 0.3
    xdotool key ctrl+a
    typetext "$1"
    click "$VR" 176 565 0.5
}

# Closes a card dialog with Escape, as the operator can.
close_dialog() {
    keys "$1" Escape
}

step "start"
shot "$MAIN" main_start.png

step "activate Транспортный"
main_activate
PASS=$(win "Пароль")
keys "$PASS" ctrl+a
typetext mivola
shot "$PASS" password.png
keys "$PASS" Return
gone "Пароль"
shot "$MAIN" main_window.png

step "a new virtual card"
click "$VR" 30 510 0.3 # typed UID instead of a random one
vr_new_card 1A2B3C4D
shot "$VR" virtual_reader_new_card.png

step "issue a card"
lnk_card_new
DLG=$(win "Подготовка карты")
inview "$DLG"
sleep 1
shot "$DLG" card_issue_waiting.png
vr_put_on 0.6
shot "$DLG" card_issue_done.png
shot "$VR" virtual_reader.png
sleep 2.5
vr_take_off
close_dialog "$DLG"
gone "Подготовка карты"

step "program the reader"
lnk_reader
DLG=$(win "Активирование считывателя")
sleep 0.3
shot "$DLG" reader_activate.png
gone "Активирование считывателя"

step "read the card back"
lnk_read
DLG=$(win "Контрольное чтение карты")
inview "$DLG"
sleep 1
shot "$DLG" card_read_waiting.png
vr_put_on
shot "$DLG" card_read.png
vr_take_off
close_dialog "$DLG"
gone "Контрольное чтение карты"

step "erase the card"
lnk_erase
DLG=$(win "Очистка карты")
inview "$DLG"
sleep 1
shot "$DLG" card_erase_waiting.png
vr_put_on
shot "$DLG" card_erase_done.png
sleep 2.5
vr_take_off
close_dialog "$DLG"
gone "Очистка карты"

step "issue the card again, for the move later"
lnk_card_new
DLG=$(win "Подготовка карты")
inview "$DLG"
sleep 0.5
vr_put_on
sleep 2.5
vr_take_off
close_dialog "$DLG"
gone "Подготовка карты"

# Fills the profile dialog: name, sector, key A, key B, password.
fill_profile() {
    local w=$1
    xdotool windowactivate --sync "$w" >/dev/null 2>&1 || true
    sleep 0.8
    click "$w" 190 41 0.5
    xdotool key ctrl+a
    xdotool type --delay 150 "$2"
    sleep 1
    click "$w" 285 110 0.3
    xdotool key ctrl+a
    typetext "$3"
    click "$w" 20 159 0.3
    xdotool key Home
    typetext "$4"
    click "$w" 200 159 0.3
    xdotool key Home
    typetext "$5"
    click "$w" 190 208 0.3
    typetext "$6"
    click "$w" 190 256 0.3
    typetext "$6"
}

step "new profile with a master card"
vr_new_card 0A0B0C0D
lnk_profile_new
PROF=$(win "Профиль безопасности")
fill_profile "$PROF" "Склад" 5 A1B2C3D4E5F6 0F1E2D3C4B5A sklad1
shot "$PROF" profile_dialog.png
click "$PROF" 235 384 1.2
DLG=$(win "Подготовка карты")
inview "$DLG"
sleep 1
shot "$DLG" master_card_new_profile_waiting.png
vr_put_on
shot "$DLG" master_card_new_profile_done.png
sleep 2.5
vr_take_off
close_dialog "$DLG"
gone "Подготовка карты"
shot "$MAIN" main_new_profile.png

step "new profile without a master card"
lnk_profile_new
PROF=$(win "Профиль безопасности")
fill_profile "$PROF" "Офис" 7 112233445566 665544332211 ofis12
click "$PROF" 18 310 0.3 # no master card
shot "$PROF" profile_dialog_no_master.png
click "$PROF" 235 384 1.2
gone "Профиль безопасности"

step "master card from the main window: Склад to Офис"
click "$MAIN" 200 39 0.6 # the current profile list: Склад is one up
xdotool key Up
sleep 0.2
xdotool key Return
sleep 0.8
vr_new_card 0C0D0E0F
lnk_master
DLG=$(win "Подготовка карты")
inview "$DLG"
sleep 1
shot "$DLG" master_card_choose.png
click "$DLG" 196 81 0.6 # the target list: Офис is the last entry
xdotool key End
sleep 0.2
xdotool key Return
sleep 1
shot "$DLG" master_card_waiting.png
vr_put_on
shot "$DLG" master_card_done.png
sleep 2.5
vr_take_off
close_dialog "$DLG"
gone "Подготовка карты"

step "move card 1A2B3C4D from Транспортный to Склад"
click "$VR" 100 86 0.3 # 1A2B3C4D is the third file in the list
lnk_change
DLG=$(win "Смена профиля карты")
inview "$DLG"
sleep 0.5
shot "$DLG" change_profile_open.png
click "$DLG" 138 82 0.6 # old profile: Транспортный is one up from Склад
xdotool key Up
sleep 0.2
xdotool key Return
sleep 1
# Транспортный went inactive when the profiles were reloaded: activate it here.
shot "$DLG" change_profile_inactive.png
click "$DLG" 330 83 0.8
PASS=$(win "Пароль")
keys "$PASS" ctrl+a
typetext mivola
keys "$PASS" Return
gone "Пароль"
sleep 0.5
shot "$DLG" change_profile_waiting.png
vr_put_on
shot "$DLG" change_profile_done.png
sleep 2.5
vr_take_off
close_dialog "$DLG"
gone "Смена профиля карты"

step "list pages"
lnk_profiles
shot "$MAIN" profiles_page.png
main_back
lnk_cards
shot "$MAIN" cards_page.png
main_back

step "about"
click "$MAIN" 97 8 0.6
xdotool key Down
sleep 0.2
xdotool key Return
sleep 1
ABOUT=$(win "About")
shot "$ABOUT" about.png
keys "$ABOUT" Return
gone "About"

step "done"
shot "$VR" virtual_reader_end.png
