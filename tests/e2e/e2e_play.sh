#!/usr/bin/env bash
# e2e_play.sh GAME SERVER PEGPACK ARTEFACTS
#
# Plays Pegsquare end to end as a player would: the built game, copied into
# a fresh program folder and started from another, empty working folder, on
# its own virtual X display, talking to the real vendor server on a free
# loopback port. Everything is done with real X input (xdotool) on the real
# windows, and everything checked is what a player or the system sees:
# window titles, pixels of screenshots, the files beside the program, the
# server's list page and the program's exit status.
#
# One run: type a name in the name panel, start a game, place the sixteen
# cards of each round by clicking the cells, open and close a line's
# breakdown, continue while rounds reach 55, send the final score, look at
# the online list, open the tally list, help, about and advert windows from
# the menus and close them by their Done buttons, and leave by File, Exit.
# Screenshots of each window are kept in ARTEFACTS (NN-name.png).
#
# With --sigterm the session is cut short the way a desktop ends a program:
# two rounds are played (a new game started when the first one ends), and
# then the program gets SIGTERM. It must end with status 0 like a closed
# window, and both rounds must be in the tally and the settings saved.
set -euo pipefail

if (($# < 4 || $# > 5)) || [[ $# == 5 && "$5" != --sigterm ]]; then
    echo "usage: $0 GAME SERVER PEGPACK ARTEFACTS [--sigterm]" >&2
    exit 2
fi
game_binary=$1
server_binary=$2
pegpack=$3
artefacts=$4
mode=${5:-full}

for tool in Xvfb xdotool import convert curl; do
    if ! command -v "$tool" >/dev/null; then
        echo "e2e: $tool is missing (from the Debian packages xvfb, xdotool, imagemagick and curl)" >&2
        exit 1
    fi
done

readonly player_name="E2e Tester"
readonly continue_threshold=55
readonly max_rounds=12
# Below the test's own time-out, so a run that is too slow still cleans up
# and says where it was.
readonly run_limit_ms=165000

mkdir -p "$artefacts"
rm -f "$artefacts"/*.png "$artefacts"/*.txt
work=$(mktemp -d "${TMPDIR:-/tmp}/pegsquare-e2e.XXXXXX")
program_folder=$work/program
working_folder=$work/cwd
mkdir -p "$program_folder" "$working_folder" "$work/content" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$game_binary" "$program_folder/pegsquare"

xvfb_pid=
server_pid=
game_pid=
game_status=
display=
last_shot="(none yet)"
step="setting up"

# --- reporting and clean-up -------------------------------------------------

now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }
started_ms=$(now_ms)
readonly started_ms
say() { printf 'e2e %6.1fs: %s\n' "$(($(now_ms) - started_ms))e-3" "$*"; }

show_file() {
    local title=$1 file=$2
    echo "---- $title ($file) ----"
    if [[ -s "$file" ]]; then tail -n 40 "$file"; else echo "(empty)"; fi
}

fail() {
    trap - ERR
    echo "e2e FAILED while $step: $*" >&2
    if [[ -n "$xvfb_pid" ]] && DISPLAY=:$display import -silent -window root "$artefacts/failure.png" 2>/dev/null; then
        last_shot="$artefacts/failure.png"
    fi
    {
        echo "last screenshot: $last_shot"
        show_file "program's standard error" "$work/game.err"
        show_file "server's access log" "$work/server.log"
        show_file "server's output" "$work/server.out"
        show_file "X server's output" "$work/xvfb.log"
    } >&2
    exit 1
}

stop_process() {
    local pid=$1 signal=$2
    [[ -n "$pid" ]] || return 0
    kill "-$signal" "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    local status=$?
    stop_process "$game_pid" KILL
    stop_process "$server_pid" TERM
    stop_process "$xvfb_pid" TERM
    # What the run left is kept beside the screenshots for a look after a
    # failure; the temporary folder itself goes.
    for log in game.err server.log xvfb.log; do
        [[ -f "$work/$log" ]] && cp "$work/$log" "$artefacts/$log.txt"
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
# A command that fails unexpectedly is reported like any failed check.
set -E
trap 'fail "a command failed (line $LINENO): $BASH_COMMAND"' ERR

game_running() {
    [[ -n "$game_pid" ]] && kill -0 "$game_pid" 2>/dev/null
}

# wait_until DESCRIPTION SECONDS COMMAND… — polls COMMAND every 100 ms
# until it succeeds; fails the test at the deadline or when the game ends.
wait_until() {
    local description=$1 limit=$2
    shift 2
    local deadline=$(($(now_ms) + limit * 1000))
    until "$@"; do
        if [[ -n "$game_pid" && -z "$game_status" ]] && ! game_running; then
            wait "$game_pid" && game_status=0 || game_status=$?
            fail "the program ended (status $game_status) while waiting for $description"
        fi
        (($(now_ms) < deadline)) || fail "no $description within ${limit}s"
        (($(now_ms) - started_ms < run_limit_ms)) || fail "the run took too long (waiting for $description)"
        sleep 0.1
    done
}

# --- the display, the server and the program --------------------------------

step="starting the X server"
# -noreset: without it the server resets whenever its last client leaves,
# and a client connecting just then fails.
# Each process is started by exec in its subshell, so its id is $! and no
# shell (with this one's traps) waits in between.
: >"$work/display"
(exec Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >"$work/xvfb.log" 2>&1) &
xvfb_pid=$!
display_known() { [[ $(<"$work/display") =~ ^[0-9]+$ ]]; }
wait_until "display number from Xvfb" 15 display_known
display=$(<"$work/display")
export DISPLAY=:$display
say "X server on display :$display"

step="starting the vendor server"
(exec "$server_binary" --listen 127.0.0.1 --port 0 --db "$work/scores.db" --content "$work/content" \
    >"$work/server.out" 2>"$work/server.log") &
server_pid=$!
server_listening() { grep -qs '^pegsquare-server: listening on http://127.0.0.1:[0-9]*$' "$work/server.out"; }
wait_until "listening line from the server" 15 server_listening
port=$(sed -n 's|^pegsquare-server: listening on http://127.0.0.1:\([0-9]*\)$|\1|p' "$work/server.out")
vendor=127.0.0.1:$port
say "vendor server on $vendor"

step="starting the program"
# A clean environment, as a desktop would give it, with its own home so
# nothing of the machine's user reaches the program.
(cd "$working_folder" && exec env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
    DISPLAY=":$display" QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy \
    "$program_folder/pegsquare" --vendor-host "$vendor") >"$work/game.out" 2>"$work/game.err" &
game_pid=$!

visible_windows() { xdotool search --onlyvisible --pid "$game_pid" 2>/dev/null || true; }
main_window=
main_window_shown() {
    local ids
    ids=$(xdotool search --all --onlyvisible --pid "$game_pid" --name '^Pegsquare$' 2>/dev/null) || return 1
    (($(wc -l <<<"$ids") == 1)) || return 1
    main_window=$ids
}
wait_until "main window titled \"Pegsquare\"" 30 main_window_shown
geometry=$(xdotool getwindowgeometry --shell "$main_window")
geometry_value() { sed -n "s/^$1=\([0-9]*\)\$/\1/p" <<<"$geometry"; }
main_x=$(geometry_value X)
main_y=$(geometry_value Y)
main_width=$(geometry_value WIDTH)
main_height=$(geometry_value HEIGHT)
say "main window $main_window at $main_x,$main_y, $main_width x $main_height"

# --- looking at the windows ---------------------------------------------------

shot=$work/shot.miff

# shoot WINDOW — a screenshot of one window into $shot.
shoot() { import -silent -window "$1" -depth 8 "$shot" 2>/dev/null; }

# keep NAME WINDOW — keeps a screenshot of WINDOW as an artefact.
keep() {
    last_shot="$artefacts/$1.png"
    import -silent -window "$2" "$last_shot" || fail "no screenshot of $1"
    say "kept $last_shot"
}

# colours X Y [X Y …] — the hex colours (RRGGBB) of points of $shot.
colours() {
    local format=""
    while (($# >= 2)); do
        format+="%[hex:p{$1,$2}] "
        shift 2
    done
    convert "$shot" -format "$format" info: 2>/dev/null
}

is_maroon() { # RRGGBB
    local c=$1
    ((16#${c:0:2} >= 0x70 && 16#${c:0:2} <= 0x90 && 16#${c:2:2} <= 0x20 && 16#${c:4:2} <= 0x20))
}

# The main window's client area starts under the menu bar, whose height
# depends on the font. The playing area's maroon frame lies 33 pixels into
# the client area (and 7 in), so the first maroon pixel down a column that
# crosses only the frame's top line gives the menu bar's height.
menu_height=
find_menu_height() {
    shoot "$main_window" || return 1
    local y
    y=$(convert "$shot" -crop 1x120+653+0 +repage txt:- 2>/dev/null |
        awk 'found == "" && NR > 1 {
                 split($1, at, /[,:]/); split($2, c, /[(),]/)
                 if (c[2] >= 112 && c[2] <= 144 && c[3] <= 32 && c[4] <= 32) found = at[2]
             }
             END { print found }')
    [[ -n "$y" ]] || return 1
    menu_height=$((y - 33))
    ((menu_height > 0))
}
wait_until "playing area drawn in the main window" 15 find_menu_height
say "menu bar $menu_height pixels high"

# Window coordinates of a point of the playing area (panel_board1 at (7, 33)
# in the client area).
area_x() { echo $((7 + $1)); }
area_y() { echo $((menu_height + 33 + $1)); }

# click_area X Y — clicks a point of the playing area.
click_area() {
    xdotool mousemove --window "$main_window" "$(area_x "$1")" "$(area_y "$2")" click 1
}

# area_colours X Y [X Y …] — colours of playing-area points in a fresh shot.
area_colours() {
    shoot "$main_window" || return 1
    local points=()
    while (($# >= 2)); do
        points+=("$(area_x "$1")" "$(area_y "$2")")
        shift 2
    done
    colours "${points[@]}"
}

# A panel of the playing area is visible when its maroon left border is
# there at a point where, hidden, the tiled background shows.
panel_shown() { # X Y of a point on its left border
    local c
    c=$(area_colours "$1" "$2") || return 1
    is_maroon "$c"
}
panel_hidden() { ! panel_shown "$@"; }
name_panel_shown() { panel_shown 98 100; }
breakdown_shown() { panel_shown 96 200; }
over_shown() { panel_shown 483 250; }
continue_shown() { panel_shown 482 100 && ! over_shown; }
outcome_shown() { over_shown || panel_shown 482 100; }

# Card cells are 60 × 82; a face has a white margin inside its outline,
# where an empty cell shows its black hatching over the background.
cell_left() { echo $((104 + 64 * ($2 - 1))); } # ROW COLUMN
cell_top() { echo $((8 + 88 * ($1 - 1))); }
card_at() { # LEFT TOP of a card slot in the playing area
    local c
    c=$(area_colours $(($1 + 15)) $(($2 + 1)) $(($1 + 30)) $(($2 + 1)) $(($1 + 45)) $(($2 + 80))) || return 1
    [[ "$c" == "FFFFFF FFFFFF FFFFFF " ]]
}
cell_filled() { card_at "$(cell_left "$1" "$2")" "$(cell_top "$1" "$2")"; }
starter_shown() { card_at 360 358; } # card_55, filled when the round is scored

# A secondary window: found by its title among the program's visible windows.
window_by_title() { # TITLE → id
    xdotool search --all --onlyvisible --pid "$game_pid" --name "^$1\$" 2>/dev/null | sed -n 1p
}
window_shown() { [[ -n $(window_by_title "$1") ]]; }
window_gone() { ! window_shown "$1"; }
# Each secondary window's Done button, left top width height in the window.
declare -A done_button=(
    ["Pegsquare - High Scores"]="467 518 126 40"
    ["Pegsquare - Tally List"]="182 362 126 40" # in the frame at (8, 8)
    ["Pegsquare - Help File"]="18 404 95 20"
    ["Pegsquare - About"]="202 164 95 26"
    ["Pegsquare Solo - Multiplayer"]="466 401 95 26"
)
# A window is drawn once its Done button shows: maroon just inside its left
# edge, where a window not yet drawn shows black or what lay under it.
window_drawn() { # ID TITLE
    local left top width height
    read -r left top width height <<<"${done_button[$2]}"
    shoot "$1" || return 1
    is_maroon "$(colours $((left + 5)) $((top + height / 2)))"
}

# A menu's popup is another window of the program's, titled as the main one.
popup=
popup_open() {
    popup=$(visible_windows | grep -vx "$main_window" | sed -n 1p)
    [[ -n "$popup" && $(xdotool getwindowname "$popup" 2>/dev/null) == "Pegsquare" ]]
}
popup_closed() { ! popup_open; }

# The menu bar's captions, left to right, as their pixel columns: runs of
# columns with dark text, split where the gap is wider than a blank.
menu_titles=(File Options View Help "Check out Pegclub")
declare -A menu_x=()
find_menu_titles() {
    shoot "$main_window" || return 1
    local spans
    spans=$(convert "$shot" -crop "${main_width}x${menu_height}+0+0" +repage -colorspace Gray \
        -threshold 50% -negate -scale "${main_width}x1!" txt:- 2>/dev/null |
        sed -n 's/^\([0-9]*\),0:.*gray(\([0-9.]*\)%\{0,1\}).*/\1 \2/p' |
        awk 'BEGIN { start = -1; gap = 0 }
             $2 + 0 > 0 { if (start < 0) start = $1; last = $1; gap = 0; next }
             start >= 0 { if (++gap > 8) { print start, last; start = -1 } }
             END { if (start >= 0) print start, last }')
    (($(wc -l <<<"$spans") == ${#menu_titles[@]})) || return 1
    local i=0 first last_column
    while read -r first last_column; do
        menu_x[${menu_titles[i]}]=$(((first + last_column) / 2))
        i=$((i + 1))
    done <<<"$spans"
}

# menu TITLE [KEY …] — clicks a menu bar caption; when keys are given, waits
# for its popup and chooses the item with them.
menu() {
    local title=$1
    shift
    say "menu $title${*:+ ($*)}"
    xdotool mousemove --window "$main_window" "${menu_x[$title]}" $((menu_height / 2)) click 1
    if (($# > 0)); then
        wait_until "popup of the $title menu" 10 popup_open
        xdotool key "$@"
        wait_until "the $title menu to close" 10 popup_closed
    fi
}

# open_window TITLE NN-name MENU KEY… — opens a secondary window from the
# menu, keeps its screenshot and leaves its id in $window.
window=
open_window() {
    local title=$1 name=$2
    shift 2
    step="opening \"$title\""
    menu "$@"
    wait_until "window \"$title\"" 15 window_shown "$title"
    window=$(window_by_title "$title")
    wait_until "\"$title\" drawn" 10 window_drawn "$window" "$title"
    keep "$name" "$window"
}

# close_window TITLE — presses the middle of the window's Done button.
close_window() {
    local left top width height
    read -r left top width height <<<"${done_button[$1]}"
    step="closing \"$1\" by its Done button"
    xdotool mousemove --window "$window" $((left + width / 2)) $((top + height / 2)) click 1
    wait_until "\"$1\" to close" 10 window_gone "$1"
}

# --- the player's session -----------------------------------------------------

step="starting up"
wait_until "name panel" 10 name_panel_shown
keep 01-start "$main_window"

step="entering the name"
# edit_aname at (66, 44) and button_namedone at (3, 86) in the name panel
# at (98, 38).
click_area $((98 + 66 + 60)) $((38 + 44 + 12))
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 30 "$player_name"
keep 02-name "$main_window"
click_area $((98 + 3 + 63)) $((38 + 86 + 20))
wait_until "name panel to close" 10 panel_hidden 98 100

wait_until "menu bar captions" 10 find_menu_titles

step="starting a game"
click_area $((515 + 63)) $((376 + 20)) # button_start

rounds=0
cleared=0
while :; do
    rounds=$((rounds + 1))
    ((rounds <= max_rounds)) || fail "more than $max_rounds rounds in a row reached $continue_threshold"
    step="placing the cards of round $rounds"
    for row in 1 2 3 4; do
        for column in 1 2 3 4; do
            cell_filled "$row" "$column" && fail "cell $row$column holds a card before it was clicked"
            click_area $(($(cell_left "$row" "$column") + 30)) $(($(cell_top "$row" "$column") + 41))
            wait_until "card on cell $row$column" 10 cell_filled "$row" "$column"
            ((rounds == 1 && row == 2 && column == 4)) && keep 03-dealing "$main_window"
        done
    done
    step="scoring round $rounds"
    wait_until "starter in the corner cell" 10 starter_shown
    if ((rounds == 1)); then
        keep 04-scored "$main_window"
        step="opening the breakdown of row 1"
        click_area $((432 + 32)) $((40 + 12)) # label_linescore1
        wait_until "breakdown panel" 10 breakdown_shown
        keep 05-breakdown "$main_window"
        click_area $((96 + 200 + 63)) $((108 + 175 + 20)) # its close button Image1
        wait_until "breakdown panel to close" 10 panel_hidden 96 200
    fi
    step="waiting for the outcome of round $rounds"
    # The outcome comes about six seconds after the last card.
    wait_until "continue or game-over panel" 20 outcome_shown
    if [[ $mode == --sigterm ]]; then
        over_shown && last_over=1 || last_over=0
        ((last_over)) || cleared=$((cleared + 1))
        ((rounds == 2)) && break
        if ((last_over)); then
            say "round $rounds below $continue_threshold: a new game with Ctrl+S"
            xdotool key --clearmodifiers ctrl+s
            wait_until "game-over panel to close" 10 panel_hidden 483 250
        else
            say "round $rounds reached $continue_threshold: continuing"
            click_area $((482 + 33 + 63)) $((19 + 86 + 20)) # button_start2
            wait_until "continue panel to close" 10 panel_hidden 482 100
        fi
        continue
    fi
    if over_shown; then
        say "round $rounds below $continue_threshold: game over"
        break
    fi
    cleared=$((cleared + 1))
    say "round $rounds reached $continue_threshold: continuing"
    ((cleared == 1)) && keep 06-continue "$main_window"
    click_area $((482 + 33 + 63)) $((19 + 86 + 20)) # button_start2
    wait_until "continue panel to close" 10 panel_hidden 482 100
done
keep 07-gameover "$main_window"

if [[ $mode == --sigterm ]]; then
    step="ending the program with SIGTERM after $rounds rounds"
    kill -TERM "$game_pid"
    game_ended() { ! game_running; }
    wait_until "the program to end" 30 game_ended
    wait "$game_pid" && game_status=0 || game_status=$?
    game_pid=
    ((game_status == 0)) || fail "after SIGTERM the program ended with status $game_status"
    step="checking what SIGTERM kept"
    grep -q "^Name=$player_name"$'\r'"\$" "$program_folder/pegsquare.ini" ||
        fail "pegsquare.ini does not hold the name: $(tr -d '\r' <"$program_folder/pegsquare.ini")"
    "$pegpack" d "$program_folder/pegsquaretally.tld" "$work/tally.txt" >/dev/null ||
        fail "pegpack cannot restore the tally file"
    mapfile -t grid < <(tr -d '\r' <"$work/tally.txt")
    counts="${grid[2 + 12]:-} ${grid[2 + 24]:-}" # rounds played, cleared
    [[ "$counts" == "$rounds $cleared" ]] ||
        fail "after SIGTERM the tally counts rounds and cleared as $counts; played $rounds, cleared $cleared"
    if ((last_over)); then
        entered=0
        for rank in $(seq 1 10); do
            [[ "${grid[2 + 24 + rank]}" == "$player_name" ]] && entered=1
        done
        ((entered)) || fail "the game that ended before SIGTERM is not among the ten best"
    fi
    say "passed: SIGTERM after $rounds rounds ($cleared cleared) ended with status 0 and kept both rounds"
    exit 0
fi

step="sending the score"
click_area $((483 + 19 + 80)) $((19 + 163 + 20)) # button_sendscore
wait_until "window \"Pegsquare - High Scores\"" 20 window_shown "Pegsquare - High Scores"
window=$(window_by_title "Pegsquare - High Scores")
wait_until "\"Pegsquare - High Scores\" drawn" 10 window_drawn "$window" "Pegsquare - High Scores"
# The list arrives after the window opens: wait for its text in the view
# (panel_main at (112, 8), 481 × 507).
list_shown() {
    shoot "$window" || return 1
    local dark
    dark=$(convert "$shot" -crop 479x505+113+9 +repage -colorspace Gray -threshold 25% \
        -format '%[fx:mean]' info: 2>/dev/null) || return 1
    awk -v m="$dark" 'BEGIN { exit !(m < 0.995) }'
}
wait_until "online list in the high-score window" 20 list_shown
keep 08-highscores "$window"
close_window "Pegsquare - High Scores"
# Screenshots of a window show whatever lies over it, so the main window is
# looked at again only now that nothing covers it.
step="checking the main window after the posting"
wait_until "game-over panel to close" 10 panel_hidden 483 250
keep 09-posted "$main_window"

open_window "Pegsquare - Tally List" 10-tally View Down Return
close_window "Pegsquare - Tally List"

open_window "Pegsquare - Help File" 11-help Help Down Return
close_window "Pegsquare - Help File"

open_window "Pegsquare - About" 12-about Help Up Return
close_window "Pegsquare - About"

# "Check out Pegclub" is an item of the menu bar itself.
open_window "Pegsquare Solo - Multiplayer" 13-advert "Check out Pegclub"
close_window "Pegsquare Solo - Multiplayer"

step="leaving by File, Exit"
menu File Up Return
game_ended() { ! game_running; }
wait_until "the program to end" 30 game_ended
wait "$game_pid" && game_status=0 || game_status=$?
game_pid=
((game_status == 0)) || fail "the program ended with status $game_status"
say "program ended with status 0 after $rounds round(s)"

# --- what the player keeps ------------------------------------------------------

step="checking the working folder"
left_in_cwd=$(ls -A "$working_folder")
[[ -z "$left_in_cwd" ]] || fail "the program left files in its working folder: $left_in_cwd"

step="checking the program folder"
left_beside=$(find "$program_folder" -mindepth 1 -printf '%P\n' | sort | tr '\n' ' ')
[[ "$left_beside" == "pegsquare pegsquare.ini pegsquaretally.tld " ]] ||
    fail "the program folder holds: $left_beside"

step="checking pegsquare.ini"
ini=$(tr -d '\r' <"$program_folder/pegsquare.ini")
expected_ini="[pegsquare]
Top=$main_y
Left=$main_x
Width=$main_width
Height=$main_height
Name=$player_name
Sounds=yes
Update=true"
[[ "$ini" == "$expected_ini" ]] || fail "pegsquare.ini reads:
$ini
expected:
$expected_ini"

step="checking the tally file"
"$pegpack" d "$program_folder/pegsquaretally.tld" "$work/tally.txt" >/dev/null ||
    fail "pegpack cannot restore the tally file"
mapfile -t grid < <(tr -d '\r' <"$work/tally.txt")
if ((${#grid[@]} != 110)) || [[ "${grid[0]:-}" != 9 || "${grid[1]:-}" != 12 ]]; then
    fail "the tally text is not a 9 × 12 grid (${#grid[@]} lines, starting ${grid[0]:-} ${grid[1]:-})"
fi
cell() { echo "${grid[2 + $1 * 12 + $2]}"; } # COLUMN ROW
percentage=$((cleared * 100 / rounds))
[[ "$(cell 1 0) $(cell 2 0) $(cell 3 0)" == "$rounds $cleared $percentage" ]] ||
    fail "the tally counts rounds $(cell 1 0), cleared $(cell 2 0), percentage $(cell 3 0);" \
        "played $rounds, cleared $cleared, so $percentage%"
tally_rank=
for rank in $(seq 1 10); do
    if [[ "$(cell 2 "$rank")" == "$player_name" ]]; then
        tally_rank=$rank
        break
    fi
done
[[ -n "$tally_rank" ]] || fail "no game of \"$player_name\" among the ten best of the tally"
tally_score=$(cell 1 "$tally_rank")
[[ "$tally_score" =~ ^[0-9]+$ ]] || fail "the tally's score for \"$player_name\" is \"$tally_score\""
((tally_score >= continue_threshold * cleared)) ||
    fail "the tally's score $tally_score is less than $cleared cleared round(s) make"
[[ -n "$(cell 0 "$tally_rank")" ]] || fail "the tally's game of \"$player_name\" has no date"

step="checking the server's list"
curl -sS --max-time 10 -o "$work/list.html" "http://$vendor/counter/pegsquare.shtml" ||
    fail "the list page cannot be fetched"
# One table row per line; the name's row, without its tags.
list_row=$(grep -F ">$player_name<" "$work/list.html" | sed 's/<[^>]*>/ /g' | tr -s ' ' | sed -n 1p)
[[ -n "$list_row" ]] || fail "\"$player_name\" is not on the server's list"
read -r list_score _ <<<"${list_row#*"$player_name"}"
[[ "$list_score" == "$tally_score" ]] ||
    fail "the server lists \"$player_name\" with $list_score, the tally with $tally_score (row: $list_row)"

[[ -s "$work/game.err" ]] && say "the program wrote to its standard error (kept in $artefacts/game.err.txt)"
say "passed: $rounds round(s), score $tally_score in the tally (rank $tally_rank) and on the server's list"
