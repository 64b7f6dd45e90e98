# The main window over a generated library under the test display: the music folders, a folder, the folder
# tree up to "My computer"; the albums, artists and genres levels and an album's songs with its picture;
# typing a name + Enter opens an album or plays from a song (the sound recorded has that song's pitch, then
# the next one's); Backspace goes back; F11 fills the screen and Escape restores it; View > Theme > Black
# chosen from the main menu by keyboard recolours the window and is in config.dat once the player ended;
# after a restart the same place comes back, and a stored Black scheme colours the window and its link
# lines; a second start given a file makes the window open its folder and play it. A 20 MiB cover.jpg and a
# text file named cover.jpg give no picture and no error. What the window shows is read from its debugger lines ("Main window shows: CAPTION (N rows)",
# "Now playing: LINE 1 | LINE 2"), its X window's geometry and screenshots, kept in
# $VORN_BUILD_DIR/screenshots/main-window-*.png.
# serial: real keyboard input on the shared display
command -v xdotool >/dev/null || fail "xdotool is not installed"
command -v ffmpeg >/dev/null || fail "ffmpeg is not installed"
source "$VORN_SOURCE_DIR/tools/env/session.sh"
rate=$(vorn_sink_rate)
[ -n "$rate" ] || fail "no null sink"
shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"

# ---- the library: two albums of tones, one picture, two bad ones ---------------------------------------
tone() {  # tone FILE HZ ARTIST ALBUM TITLE NUMBER GENRE DATE
  mkdir -p "$(dirname "$1")"
  sox -V1 -n -r 44100 -b 16 -c 2 tone.wav synth 2 sine "$2" gain -6 || fail "sox"
  flac -s -f tone.wav -o "$1" || fail "flac $1"
  metaflac --set-tag="ARTIST=$3" --set-tag="ALBUM=$4" --set-tag="TITLE=$5" --set-tag="TRACKNUMBER=$6" \
           --set-tag="GENRE=$7" --set-tag="DATE=$8" "$1" || fail "metaflac $1"
}
tone lib1/Alpha/01.flac 330 Ann Alpha Aone 1 Rock 2001
tone lib1/Alpha/02.flac 660 Ann Alpha Atwo 2 Rock 2001
tone lib1/Alpha/03.flac 990 Ann Alpha Athree 3 Rock 2001
tone lib2/Beta/01.flac 440 Bob Beta Bone 1 Jazz 2002
tone lib2/Beta/02.flac 880 Bob Beta Btwo 2 Jazz 2002
tone lib2/Junk/01.flac 550 Cid Junk Jone 1 Jazz 2003
ffmpeg -loglevel error -f lavfi -i color=c=red:s=96x96 -frames:v 1 lib1/Alpha/cover.jpg || fail "ffmpeg"
head -c 20971520 /dev/urandom > lib2/Beta/cover.jpg
echo "not a picture" > lib2/Junk/cover.jpg

mkdir -p app
cp "$VORN_EXE" app/vorn.exe
touch app/vorn.exe.localconfig.opt
profile="$VORN_TEST_TMP/app/vorn-configuration"
mkdir -p "$profile"
timeout 120 wine "$VORN_INSPECT" library "$(winpath "$profile")" --folder "$(winpath "$VORN_TEST_TMP/lib1")" \
  --folder "$(winpath "$VORN_TEST_TMP/lib2")" --system-folders 0 > library.out 2>&1 < /dev/null || { cat library.out >&2; fail "indexing"; }

# config GUID=HEX...: stores navigation state or scheme records in the profile.
config() { timeout 60 wine "$VORN_INSPECT" config "$(winpath "$profile")" "$@" > config.out 2>&1 < /dev/null ||
             { cat config.out >&2; fail "vorn-inspect config $*"; }; }
nav_guid="{6490F07D-F12E-4963-8946-FDE5DCC08F3A}"
scheme_guid="{1DE8F186-735F-4F81-B687-430C92993A15}"
# The navigation state's stored form of kind and levels (one key per level).
state_hex() {
  python3 - "$@" <<'PY'
import struct, sys
kind, levels = int(sys.argv[1]), sys.argv[2:]
out = struct.pack("<II", kind, len(levels))
for level in levels:
    keys = [k for k in level.split("|") if k] if level != "-" else []
    out += struct.pack("<I", len(keys))
    for k in keys:
        b = k.encode()
        out += struct.pack("<I", len(b)) + b
print(out.hex())
PY
}

# ---- running the player and reading what it shows -------------------------------------------------
source "$VORN_SOURCE_DIR/tests/support/player_support.sh"
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; vorn_capture_stop; true; }
trap cleanup EXIT
shot() { import -window root "$shots/main-window-$1.png" || fail "no screenshot $1"; }
geometry() { xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' '; }

# ---- 1: the music folders, a folder, the folder tree up to My computer -----------------------------
root_key="{7644CAF4-800E-4771-B16D-D161B8B08887}"
config "$nav_guid=$(state_hex 2 "$root_key")"
start run1
view "Folders (2 rows)"
shot music-folders
typed lib1; key Return
view "lib1 (1 rows)"
shot folder
typed Alpha; key Return
view "Alpha (3 rows, picture)"
shot folder-with-picture
# Alt+Up climbs the tree, each level's row of the one left selected, up to My computer.
for i in $(seq 30); do
  key alt+Up
  view ""
  case "$got" in "My computer"*) break;; esac
done
case "$got" in "My computer"*) ;; *) fail "Alt+Up never reached My computer: $got";; esac
shot my-computer
# Backspace goes back the way it came.
key BackSpace
view ""
stop

# ---- 2: albums, artists, genres, an album's songs, playing, full screen, Black ---------------------
config "$nav_guid=$(state_hex 0 - -)"
start run2
view "All Albums (4 rows)"        # Alpha, Beta, Junk and the summary row
albums=$got
shot albums
key alt+Up
view "All Artists"
artists=$got
shot artists
key alt+Up
view ""                           # the genres
shot genres
key BackSpace
view ""
expect_eq "$got" "$artists" "Backspace from the genres"
key BackSpace
view ""
expect_eq "$got" "$albums" "Backspace from the artists"
typed Alpha; key Return
view "Alpha"
shows | tail -n 3 >&2
shot songs
case "$(shows | tail -n1)" in *", picture)"*) ;; *) fail "no picture beside Alpha's songs: $(shows | tail -n1)";; esac

# A song's name + Enter plays from it: Atwo (660 Hz), then Athree (990 Hz). Under load the sound server
# now and then drops a stretch of the recording: then Enter (still on Atwo) plays it again, three times at most.
typed Atwo
heard=
for attempt in 1 2 3; do
  before=$(playing | grep -c 'Playback stopped' || true)
  lines_before=$(playing | wc -l)
  vorn_capture_start cap.raw
  key Return
  for i in $(seq 300); do [ "$(playing | grep -c 'Playback stopped' || true)" -gt "$before" ] && break; sleep 0.1; done
  vorn_capture_stop
  playing | tail -n +$((lines_before + 1)) | grep '<a>' | head -n1 | grep -q '<a>Atwo</a>' ||
    { playing >&2; fail "Atwo did not play first"; }
  playing | grep -q '<a>Athree</a>' || { playing >&2; fail "Athree never followed"; }
  heard=$(python3 "$VORN_SOURCE_DIR/tests/ui/pitch_sequence.py" cap.raw "$rate" 330 440 550 660 880 990 | tr '\n' ' ')
  [ "$heard" = "660 990 " ] && break
  echo "attempt $attempt heard: $heard" >&2
done
expect_eq "$heard" "660 990 " "tones heard after Enter on Atwo"
playing | grep -q 'Ann' || fail "no artist on the now-playing line"
shot now-playing

# F11 fills the screen, Escape restores the window.
before=$(geometry)
screen=$(xdotool getdisplaygeometry | awk '{print "WIDTH=" $1 " HEIGHT=" $2 " "}')
key F11
for i in $(seq 100); do [ "$(geometry)" = "$screen" ] && break; sleep 0.1; done
expect_eq "$(geometry)" "$screen" "window size in full screen"
shot full-screen
key Escape
for i in $(seq 100); do [ "$(geometry)" = "$before" ] && break; sleep 0.1; done
expect_eq "$(geometry)" "$before" "window size after Escape"

# The list's background turns black.
dark() {  # the pixel near the window's bottom-left corner (inside the list) is near black
  local height hex
  height=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p')
  hex=$(import -window "$window" -crop "1x1+10+$((height - 14))" +repage txt:- 2>/dev/null |
        grep -o '#[0-9A-Fa-f]\{6\}' | head -n1)
  [ -n "$hex" ] || return 1
  python3 -c "import sys; h = sys.argv[1][1:]; sys.exit(0 if max(int(h[i:i+2], 16) for i in (0, 2, 4)) < 40 else 1)" "$hex"
}
dark && fail "the list is dark before the Black scheme was chosen"
shot classic
# View > Theme > Black through the main menu: the Menu button (the top right corner of the window) opens it,
# then the keyboard walks it: Down Down to View, Right into View (Theme), Right into Theme (Classic), Down to
# Black, Return. A lost key leaves the menu open or the wrong scheme: Escape closes what is open, and the
# whole walk is made again (three times at most).
popups() { xdotool search --all --onlyvisible --pid "$owner" 2>/dev/null | wc -l; }
width=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^WIDTH=//p')
for attempt in 1 2 3; do
  before=$(popups)
  xdotool mousemove --window "$window" $((width - 4)) 4 click 1
  for i in $(seq 50); do [ "$(popups)" -gt "$before" ] && break; sleep 0.1; done
  [ "$(popups)" -gt "$before" ] || { echo "attempt $attempt: the main menu did not open" >&2; continue; }
  shot main-menu
  key Down Down Right Right Down Return
  for i in $(seq 30); do dark && break; sleep 0.2; done
  dark && break
  echo "attempt $attempt: Black not chosen" >&2
  key Escape Escape Escape
done
dark || fail "View > Theme > Black from the menu did not recolour the window"
shot black-from-menu
last_view=$(shows | tail -n1)
stop
# The choice is in config.dat after the player ended ({F96DE72E-A4F1-41A2-8786-6E7222854877}, GUID bytes).
black_bytes=2ee76df9f1a4a24187866e7222854877
config
grep -q "^$nav_guid" config.out || { cat config.out >&2; fail "no navigation state in config.dat"; }
grep -qi "^$scheme_guid.*$black_bytes" config.out || { cat config.out >&2; fail "the Black scheme is not in config.dat"; }
# The Black scheme stored directly for the next start.
config "$scheme_guid=$black_bytes"

# ---- 3: the same place and scheme again; a second start given a file; bad pictures ----------------
start run3
view ""
expect_eq "$got" "$last_view" "the view after a restart"
for i in $(seq 50); do dark && break; sleep 0.2; done
dark || fail "the stored Black scheme did not colour the window"
shot restarted
# The link lines (the now-playing line at the top, the caption and navigation lines right of Play) take the
# scheme's colours: in the band above the list right of the buttons almost no pixel is paper-white, and
# their plain text ("Playback stopped", "Album:", "You are here:") is light grey ink on many pixel rows (in
# the control's own colours it is black on black; the separator line alone makes one or two grey rows).
lines_dark() {
  import -window "$window" lines.png 2>/dev/null || return 1
  python3 - lines.png <<'PY'
import subprocess, sys
w, h = (int(v) for v in subprocess.check_output(["identify", "-format", "%w %h", sys.argv[1]]).split())
x0, x1, y1 = w * 20 // 100, w * 44 // 100, h * 22 // 100
raw = subprocess.check_output(["convert", sys.argv[1], "-crop", "%dx%d+%d+0" % (x1 - x0, y1, x0), "+repage",
                               "-depth", "8", "rgb:-"])
width = x1 - x0
pixels = [raw[i:i + 3] for i in range(0, len(raw), 3)]
rows = [pixels[y * width:(y + 1) * width] for y in range(len(pixels) // width)]
white = sum(1 for p in pixels if min(p) > 200) / len(pixels)
grey_rows = sum(1 for row in rows if sum(1 for p in row if max(p) > 100 and max(p) - min(p) < 30) >= 3)
print("link lines: white %.3f, rows with grey ink %d" % (white, grey_rows), file=sys.stderr)
sys.exit(0 if white < 0.06 and grey_rows >= 10 else 1)
PY
}
for i in $(seq 25); do lines_dark && break; sleep 0.2; done
lines_dark || fail "the link lines are not in the Black scheme's colours"
beta=$(winpath "$VORN_TEST_TMP/lib2/Beta/02.flac")
timeout 60 wine app/vorn.exe "$beta" > second.log 2>&1 < /dev/null || true
view "Beta (2 rows)"    # the folder opened; the 20 MiB cover.jpg gives no picture
for i in $(seq 300); do playing | grep -q '<a>Btwo</a>' && break; sleep 0.1; done
playing | grep -q '<a>Btwo</a>' || { playing >&2; fail "the file given to the second start did not play"; }
shot second-instance
timeout 60 wine app/vorn.exe "$(winpath "$VORN_TEST_TMP/lib2/Junk")" > third.log 2>&1 < /dev/null || true
view "Junk (1 rows)"    # a folder opens without playing; the text cover.jpg gives no picture
shot bad-picture
if xdotool search --all --onlyvisible --name '^(Error|Information)' >/dev/null 2>&1; then
  fail "an error window opened"
fi
stop
