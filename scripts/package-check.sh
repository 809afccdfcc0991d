#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, and checks it the
# way a player meets it: the files in their places, a valid desktop entry
# and metainfo, and the game started from /usr/bin by an ordinary user on a
# display of its own, shown, ended through its File menu's Exit with status
# 0, having saved that user's settings in the user's own data folder.
# Afterwards the package (and whatever dependencies its installation had to
# add) and a check user this script created are removed again.
#
#   package-check.sh [--keep] [--build DIR | --deb FILE] [--out DIR]
#
#   --keep       leave the package installed and the check user in place
#   --build DIR  build directory (default build-package in the source tree)
#   --deb FILE   check this package instead of building one
#   --out DIR    where the screenshots and the game's output are kept
#                (default package-check in the build directory)
#
# The build runs as the calling user; the check needs root, so for any
# other user the script builds and then runs itself again under sudo with
# --deb. Uses Xvfb, xdotool and ImageMagick, which scripts/deps.sh
# installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/quiet.sh"

keep=0
build=$root/build-package
deb=
out=
while (($#)); do
    case "$1" in
        --keep) keep=1 ;;
        --build) build=${2:?--build needs a directory}; shift ;;
        --deb) deb=${2:?--deb needs a package file}; shift ;;
        --out) out=${2:?--out needs a directory}; shift ;;
        *) echo "usage: $0 [--keep] [--build DIR | --deb FILE] [--out DIR]" >&2; exit 2 ;;
    esac
    shift
done
build=$(realpath -m "$build")
out=$(realpath -m "${out:-$build/package-check}")

package=pegsquare
app_id=org.pegsquare.Pegsquare
user=pegcheck

say() { echo "== $*"; }
fail() { echo "package-check: FAILED: $*" >&2; exit 1; }
need() {
    local missing=() tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    ((${#missing[@]} == 0)) || fail "missing tools: ${missing[*]} (run scripts/deps.sh)"
}

# --- Build the package ---
if [[ -z "$deb" ]]; then
    need cmake ninja cpack dpkg-deb dpkg-shlibdeps
    say "Building in $build"
    quietly "$build/package-check-configure.log" cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DPEGSQUARE_BUILD_BENCH=OFF
    quietly "$build/package-check-build.log" cmake --build "$build" -j "${PEG_JOBS:-2}"
    rm -f "$build"/"$package"_*.deb
    (cd "$build" && quietly "$build/package-check-cpack.log" cpack -G DEB)
    debs=("$build"/"$package"_*.deb)
    [[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "cpack made no single $package package in $build"
    deb=${debs[0]}
fi
deb=$(realpath -m "$deb")
[[ -f "$deb" ]] || fail "no package file $deb"

if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || fail "installing the package needs root or sudo"
    keep_flag=()
    ((keep)) && keep_flag=(--keep)
    exec sudo -- bash "$0" --deb "$deb" --out "$out" "${keep_flag[@]}"
fi

need dpkg-deb desktop-file-validate appstreamcli Xvfb xdotool import convert compare identify setpriv useradd

if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" == *" installed" ]]; then
    fail "$package is already installed on this machine; remove it first (dpkg -r $package) so the check starts clean"
fi

mkdir -p "$out"
rm -f "$out"/{main-window,file-menu,timeout,not-ended}.png "$out"/{pegsquare,xvfb,import}.log
say "Package $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -I "$deb"
work=$(mktemp -d /tmp/pegsquare-package-check.XXXXXX)

# --- Clean-up, whatever happens from here on ---
installed=0
created_user=0
added_packages=()
xvfb_pid=
game_pid=
cleanup() {
    local status=$?
    set +e
    if [[ -n "$game_pid" ]] && kill -0 "$game_pid" 2>/dev/null; then
        kill -KILL "$game_pid"
        wait "$game_pid" 2>/dev/null
    fi
    if [[ -n "$xvfb_pid" ]]; then
        kill -TERM "$xvfb_pid"
        wait "$xvfb_pid" 2>/dev/null
    fi
    if ((keep)); then
        ((installed)) && echo "Kept: package $package installed (remove with: dpkg -r $package)"
        ((created_user)) && echo "Kept: user $user (remove with: userdel -r $user)"
    else
        if ((installed)); then
            say "Removing $package"
            quietly "$work/remove.log" dpkg -r "$package" || status=1
            if ((${#added_packages[@]})); then
                say "Removing the dependencies its installation added: ${added_packages[*]}"
                quietly "$work/remove-deps.log" env DEBIAN_FRONTEND=noninteractive \
                    apt-get remove -y "${added_packages[@]}" || status=1
            fi
        fi
        if ((created_user)); then
            quietly "$work/userdel.log" userdel -r "$user" || status=1
        fi
    fi
    rm -rf "$work"
    # Run through sudo, the pictures belong to the user who asked for them.
    if [[ -n "${SUDO_UID:-}" && -n "${SUDO_GID:-}" ]]; then
        chown -R "$SUDO_UID:$SUDO_GID" "$out"
    fi
    if ((status == 0)); then
        echo "package-check: OK (screenshot and the game's output in $out)"
    fi
    exit "$status"
}
trap cleanup EXIT

# --- Install it ---
installed_before=$(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' | sed -n 's/ install ok installed$//p' | sort)
say "Installing $(basename "$deb")"
installed=1
if ! quietly "$work/dpkg.log" dpkg -i "$deb"; then
    say "Fetching the missing dependencies"
    quietly "$work/apt.log" env DEBIAN_FRONTEND=noninteractive apt-get install -f -y
fi
installed_after=$(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' | sed -n 's/ install ok installed$//p' | sort)
while read -r p; do
    [[ -n "$p" && "${p%%:*}" != "$package" ]] && added_packages+=("$p")
done < <(comm -13 <(echo "$installed_before") <(echo "$installed_after"))
[[ "$(dpkg-query -W -f='${Status}' "$package")" == "install ok installed" ]] || fail "$package did not install"

# --- Its files ---
say "Checking the installed files"
listed=$(dpkg -L "$package")
expected=(
    /usr/bin/pegsquare /usr/bin/pegscore /usr/bin/pegpack /usr/bin/pegbot /usr/bin/pegsquare-server
    "/usr/share/applications/$app_id.desktop"
    "/usr/share/metainfo/$app_id.metainfo.xml"
)
for size in 16 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for f in "${expected[@]}"; do
    grep -qxF "$f" <<<"$listed" || fail "dpkg -L $package does not list $f"
    [[ -f "$f" ]] || fail "$f is listed but missing"
done
for f in /usr/bin/pegsquare /usr/bin/pegscore /usr/bin/pegpack /usr/bin/pegbot /usr/bin/pegsquare-server; do
    [[ -x "$f" ]] || fail "$f is not executable"
done
for size in 16 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    got=$(identify -format '%m %wx%h' "$icon")
    [[ "$got" == "PNG ${size}x${size}" ]] || fail "$icon is $got, not a ${size}x${size} PNG"
done
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"

# --- A player ---
if id -u "$user" >/dev/null 2>&1; then
    say "Reusing user $user"
else
    say "Creating user $user"
    useradd -m -s /bin/sh "$user"
    created_user=1
fi
home=$(getent passwd "$user" | cut -d: -f6)
[[ -n "$home" && -d "$home" ]] || fail "user $user has no home folder"
data=$home/.local/share/Pegsquare
# A check must see the files appear, not find them from a run before.
rm -rf "$data"
runtime=$work/runtime
mkdir -m 700 "$runtime"
chown "$user:" "$runtime"
chmod 711 "$work"

# The display: Xvfb picks a free number itself and writes it to the given
# descriptor once it accepts connections.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/displayfd" \
    >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
read -r -t 30 display <"$work/displayfd" || true
[[ "$display" =~ ^[0-9]+$ ]] || { cat "$out/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=:$display
say "Display $DISPLAY"

say "Starting /usr/bin/pegsquare as $user"
(
    cd "$home"
    exec env -i HOME="$home" USER="$user" LOGNAME="$user" SHELL=/bin/sh PATH=/usr/bin:/bin \
        LANG=C.UTF-8 DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$runtime" \
        setpriv --reuid="$user" --regid="$user" --init-groups /usr/bin/pegsquare
) >"$out/pegsquare.log" 2>&1 &
game_pid=$!

game_running() { kill -0 "$game_pid" 2>/dev/null; }

# wait_for SECONDS WHAT COMMAND…: runs COMMAND until it succeeds, the game
# ends, or the time is up.
wait_for() {
    local seconds=$1 what=$2; shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        game_running || { cat "$out/pegsquare.log" >&2; fail "the game ended while waiting for $what"; }
        ((SECONDS < deadline)) || { shot "$out/timeout.png"; fail "no $what after ${seconds}s"; }
        sleep 0.2
    done
}
shot() { import -window root "$1" 2>>"$out/import.log" || true; }

main_window=
find_main_window() {
    local ids
    ids=$(xdotool search --onlyvisible --name '^Pegsquare$' 2>/dev/null) || return 1
    main_window=${ids%%$'\n'*}
    [[ -n "$main_window" ]]
}
wait_for 60 "main window" find_main_window
say "Main window $main_window"

# Shown is not yet drawn: the picture counts once the screen has many
# colours and two screenshots in a row are the same.
previous=$work/previous.png
current=$work/current.png
rm -f "$previous"
screen_settled() {
    shot "$current"
    local colours same=0
    colours=$(convert "$current" -format %k info: 2>/dev/null) || return 1
    if [[ -f "$previous" ]] && [[ "$(compare -metric AE "$previous" "$current" null: 2>&1 || true)" == 0 ]]; then
        same=1
    fi
    cp "$current" "$previous"
    ((colours > 64 && same))
}
wait_for 60 "drawn main window" screen_settled
cp "$current" "$out/main-window.png"
say "Screenshot $out/main-window.png"

# Ending through the File menu's Exit item: the program closes its main
# window as a player would, with no window manager needed. The menu bar
# runs along the top of the window; File is its first title and Exit the
# last item of its menu.
geometry() {
    local line x= y= w= h=
    while read -r line; do
        case "$line" in
            X=*) x=${line#X=} ;; Y=*) y=${line#Y=} ;;
            WIDTH=*) w=${line#WIDTH=} ;; HEIGHT=*) h=${line#HEIGHT=} ;;
        esac
    done < <(xdotool getwindowgeometry --shell "$1")
    [[ -n "$x" && -n "$y" && -n "$w" && -n "$h" ]] || return 1
    echo "$x $y $w $h"
}
read -r wx wy _ _ < <(geometry "$main_window") || fail "no geometry for the main window"
xdotool mousemove --sync $((wx + 16)) $((wy + 10)) click 1

menu=
find_menu() {
    local ids id
    ids=$(xdotool search --onlyvisible --pid "$game_pid" 2>/dev/null) || return 1
    for id in $ids; do
        [[ "$id" != "$main_window" ]] && { menu=$id; return 0; }
    done
    return 1
}
wait_for 20 "File menu" find_menu
read -r mx my mw mh < <(geometry "$menu") || fail "no geometry for the File menu"
shot "$out/file-menu.png"
xdotool mousemove --sync $((mx + mw / 2)) $((my + mh - 8)) click 1

game_ended() { ! game_running; }
deadline=$((SECONDS + 30))
until game_ended; do
    if ((SECONDS >= deadline)); then
        shot "$out/not-ended.png"
        fail "the game did not end within 30s of Exit (screen in $out/not-ended.png)"
    fi
    sleep 0.2
done
status=0
wait "$game_pid" || status=$?
game_pid=
((status == 0)) || { cat "$out/pegsquare.log" >&2; fail "the game ended with status $status"; }
say "The game ended with status 0"

# --- What the player's run left ---
for f in pegsquare.ini pegsquaretally.tld; do
    if [[ ! -f "$data/$f" ]]; then
        ls -la "$home" /usr/bin/pegsquare* >&2 || true
        fail "$data/$f was not written"
    fi
    [[ "$(stat -c %U "$data/$f")" == "$user" ]] || fail "$data/$f does not belong to $user"
done
grep -q '^\[pegsquare\]' "$data/pegsquare.ini" || fail "$data/pegsquare.ini has no [pegsquare] section"
say "Settings and tally in $data"
