#!/usr/bin/env bash
# deskrestore.exe from the folder a user copies, under Wine on a virtual
# display, driven and judged from outside: its first start shows the language
# dialog, "Ok" stores the language in the per-user settings (the registry),
# the main window follows with its pictures and the Chinese catalogue from
# language/, and the title bar's information button opens the About box;
# the same first start with Wine reporting Windows 10; Wine reporting Vista
# gets the refusal box, which Escape closes; a drive the inventory does not
# know, given as the drive menu gives it, gets a box; and the main window, the About
# box, the backup wizard and the tools dialog at 100%, 125%, 150% and 200%
# scaling, in the size the scale gives (pictures to look at for cut text).
# Windows are found by their titles (xdotool), judged on screenshots (import):
# a window drawn blank or in one colour fails. The screenshots stay in
# SHOTS (default <folder>/../wine-screenshots).
#   desktop_check.sh <folder with deskrestore.exe> [SHOTS]
# Runs in the Wine prefix of WINEPREFIX (a fresh one: no settings yet).
set -euo pipefail
folder=$(cd "$1" && pwd)
: "${WINEPREFIX:?a Wine prefix is needed}"
shots=${2:-$(dirname "$folder")/wine-screenshots}
rm -rf "$shots"
mkdir -p "$shots"
fail() { echo "desktop_check: FAILED: $*" >&2; exit 1; }

# A display of our own; Xvfb picks a free number and says which.
# Room for the main window at 200% (1600 x 1200).
exec 8< <(Xvfb -displayfd 1 -screen 0 1920x1400x24 -noreset -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r -t 30 display <&8 || fail "Xvfb did not start"
export DISPLAY=:$display
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Wine's desktop process keeps the display it started on: start the prefix's
# processes again, on this display.
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
# winver VERSION: the Windows that Wine reports (win7, win10, vista).
winver() { wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f </dev/null >/dev/null 2>&1; }
# dpi DOTS: the screen's scale (96 is 100%, 144 is 150%).
dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
}
# The fonts a Windows machine has and Wine does not ship, mapped to
# look-alikes of this machine: Segoe UI to DejaVu Sans, the Chinese ones
# to WenQuanYi Zen Hei.
for font in 'Segoe UI=DejaVu Sans' 'Microsoft YaHei=WenQuanYi Zen Hei' 'SimSun=WenQuanYi Zen Hei'; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${font%%=*}" /d "${font#*=}" /f </dev/null >/dev/null 2>&1
done
winver win7
dpi 96

# window_id TITLE SECONDS: the id of the visible window of that exact title.
window_id() {
  local title=$1 until=$(( $(date +%s) + $2 )) id
  while [ "$(date +%s)" -lt "$until" ]; do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.5
  done
  return 1
}
# geometry ID: "X Y W H" of the window on the screen.
geometry() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2}
    END {print x, y, w, h}'
}
# click_until ID DX DY CONDITION...: clicks at (DX, DY) of the window until
# the condition holds; without a window manager the first click on a new
# window may only activate it.
click_until() {
  local id=$1 dx=$2 dy=$3 x y w h try
  shift 3
  read -r x y w h < <(geometry "$id")
  for try in 1 2 3 4 5; do
    xdotool mousemove $((x + dx)) $((y + dy)) click 1
    sleep 1.5
    "$@" && return 0
  done
  return 1
}
# colours FILE X Y W H: the number of distinct colours in that rectangle.
colours() {
  convert "$1" -crop "$4x$5+$2+$3" +repage -format '%k' info:
}
# judge NAME ID MIN: screenshot NAME.png; the window holds at least MIN colours.
judge() {
  local name=$1 id=$2 min=$3 x y w h n try
  read -r x y w h < <(geometry "$id")
  # A window just mapped may not be painted yet: up to three looks.
  for try in 1 2 3; do
    import -window root "$shots/$name.png"
    n=$(colours "$shots/$name.png" "$x" "$y" "$w" "$h")
    [ "$n" -ge "$min" ] && break
    sleep 1
  done
  echo "desktop_check: $name: ${w}x${h} at $x,$y, $n colours"
  [ "$n" -ge "$min" ] || fail "$name is drawn blank ($n colours)"
}
gone() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
appeared() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

# escape_closes ID TITLE: a click on the box's title strip gives it the
# keyboard (without a window manager the first click may only activate it
# or its parent), then Escape; true once the box is gone.
escape_closes() {
  local id=$1 title=$2 w h try
  read -r _ _ w h < <(geometry "$id")
  for try in 1 2 3; do
    click_until "$id" $((w / 2)) 12 true
    xdotool key --window "$id" Escape
    sleep 1.5
    gone "$title" && return 0
  done
  return 1
}
# start_program [ARG]: deskrestore.exe from the folder, in the background.
start_program() {
  (cd "$folder" && exec timeout 240 wine deskrestore.exe "$@" </dev/null >>"$shots/deskrestore.log" 2>&1) &
  program_pid=$!
}
# stop_program: ends a program that still shows its windows.
stop_program() {
  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
}
settings='HKCU\Software\Sorvik Software\Sorvik Tavimo Recover'

# first_start NAME: a start with no settings: the language dialog, then the
# main window, whose id it leaves in `main`; NAME tags the screenshots.
first_start() {
  local name=$1 lang x y w h n left
  wine reg delete 'HKCU\Software\Sorvik Software' /f </dev/null >/dev/null 2>&1 || true
  start_program
  lang=$(window_id "Set your preferences" 90) || fail "$name: the language dialog did not appear"
  judge "$name-language-dialog" "$lang" 10
  # "Ok" sits at the dialog's lower right.
  read -r _ _ w h < <(geometry "$lang")
  click_until "$lang" $((w - 57)) $((h - 27)) gone "Set your preferences" ||
    fail "$name: Ok did not close the language dialog"
  wine reg query "$settings" /v Lang </dev/null 2>/dev/null | grep 'zh_CN' >/dev/null ||
    fail "$name: the language was not stored in the settings"
  main=$(window_id "Sorvik Tavimo Recover" 60) || fail "$name: the main window did not appear"
  judge "$name-main-window" "$main" 200
  read -r x y w h < <(geometry "$main")
  [ "$w" -eq 800 ] && [ "$h" -eq 600 ] || fail "$name: the main window is ${w}x${h}, not 800x600"
  # The three entries' pictures (Backup, Restore, Tools) are drawn.
  for left in 140 341 541; do
    n=$(colours "$shots/$name-main-window.png" $((x + left)) $((y + 136)) 120 120)
    [ "$n" -ge 30 ] || fail "$name: the picture at $left of the main window is missing ($n colours)"
  done
}

first_start win7
# The information button is the second of the title bar's buttons from the
# right; the box's title is the Chinese catalogue's "Information".
about_title="信息"
click_until "$main" 679 27 appeared "$about_title" || fail "the About box did not appear (with the Chinese title)"
about=$(window_id "$about_title" 5)
judge about-box "$about" 30
read -r _ _ w h < <(geometry "$about")
click_until "$about" $((w / 2)) $((h - 40)) gone "$about_title" || fail "OK did not close the About box"
# The close button ends the program.
click_until "$main" 766 27 gone "Sorvik Tavimo Recover" || fail "the close button did not close the main window"
wait "$program_pid" || fail "deskrestore.exe did not end by itself"
program_pid=

# Windows 10: the same first start.
winver win10
first_start win10
click_until "$main" 766 27 gone "Sorvik Tavimo Recover" || fail "win10: the close button did not close the main window"
wait "$program_pid" || fail "win10: deskrestore.exe did not end by itself"
program_pid=

# Vista is refused in a box that has its button and closes with Escape;
# the program then ends with 0.
winver vista
start_program
box=$(window_id "Error" 60) || fail "vista: the refusal box did not appear"
judge vista-refusal-box "$box" 30
escape_closes "$box" "Error" || fail "vista: Escape did not close the refusal box"
wait "$program_pid" || fail "vista: deskrestore.exe did not end with 0 after the refusal"
program_pid=
winver win10

# The image folder chosen, so that later starts go straight to the main
# window.
wine reg add "$settings" /v dstPath /d 'C:\Images' /f </dev/null >/dev/null 2>&1

# The drive menu's backup of a drive the inventory does not know (Wine
# lists no partitions): a box says so, Escape closes it, the program ends
# with -1.
failed_title="失败"
start_program 'D:\'
box=$(window_id "$failed_title" 60) || fail "one-drive: no box for a drive the inventory does not know"
judge one-drive-unknown-drive "$box" 30
escape_closes "$box" "$failed_title" || fail "one-drive: Escape did not close the box"
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" -eq 255 ] || fail "one-drive: the program ended with $status, not -1"

# Scaled screens: each window in the size the scale gives. The entries'
# centres: Backup at (200, 195), Tools at (600, 195) of the 800 x 600 window.
for run in 100-zh 125-zh 150-zh 200-zh 100-en 150-en; do
  scale=${run%-*}
  lang=${run#*-}
  [ "$lang" = zh ] && lang=zh_CN
  wine reg add "$settings" /v Lang /d "$lang" /f </dev/null >/dev/null 2>&1
  dpi $((96 * scale / 100))
  for entry in main backup tools; do
    start_program
    main=$(window_id "Sorvik Tavimo Recover" 60) || fail "$scale%: the main window did not appear"
    sleep 1
    # The window found first may be the one of the program just ended,
    # gone before its geometry is asked: look for the new one again.
    w=
    for try in 1 2 3 4 5; do
      read -r x y w h < <(geometry "$main" 2>/dev/null) || true
      [ -n "$w" ] && break
      sleep 1
      main=$(window_id "Sorvik Tavimo Recover" 10) || fail "$scale%: the main window went away"
    done
    [ -n "$w" ] || fail "$scale%: the main window's geometry cannot be read"
    [ "$w" -eq $((800 * scale / 100)) ] && [ "$h" -eq $((600 * scale / 100)) ] ||
      fail "$scale%: the main window is ${w}x${h}, not scaled to $scale%"
    case $entry in
      main)
        judge "scaled-$run-main-window" "$main" 200
        [ "$lang" = en ] && title=Information || title=$about_title
        click_until "$main" $((679 * scale / 100)) $((27 * scale / 100)) appeared "$title" ||
          fail "$run: the About box did not appear"
        about=$(window_id "$title" 5)
        judge "scaled-$run-about-box" "$about" 30 ;;
      backup | tools)
        [ "$entry" = backup ] && left=200 || left=600
        xdotool mousemove $((x + left * scale / 100)) $((y + 195 * scale / 100)) click 1
        sleep 1.5
        gone "Sorvik Tavimo Recover" || { xdotool click 1; sleep 1.5; }
        import -window root "$shots/scaled-$run-$entry.png" ;;
    esac
    stop_program
  done
done
dpi 96
wine reg add "$settings" /v Lang /d zh_CN /f </dev/null >/dev/null 2>&1
echo "desktop_check: passed (screenshots in $shots)"
