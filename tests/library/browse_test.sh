# The browsing views end to end through vorn-inspect's browse command over generated folders: the tag view's
# levels and titles, the folder tree (drives, order, ties, hidden files, covers, track lists), the
# music-folders view, and changes seen while watching. Fixtures are made here with sox, flac and metaflac.
for tool in sox flac metaflac; do command -v $tool >/dev/null || fail "$tool is not installed"; done

M=$PWD/lib/Music
P=$PWD/profile
KEY='{7644CAF4-800E-4771-B16D-D161B8B08887}'

# browse ARGS...: one run; its output (carriage returns dropped) in out.txt.
browse() {
  local rc=0
  wine "$VORN_INSPECT" browse "$P" "$@" 2>err.txt < /dev/null > raw.txt || rc=$?
  tr -d '\r' < raw.txt > out.txt
  [ $rc -eq 0 ] || { cat err.txt >&2; fail "browse $* exited with $rc"; }
}
lines() { grep "^$1	" out.txt | cut -f2- || true; }
items() { lines item | tr '\t' ' ' | tr '\n' '/'; }
# The Windows components of a Linux folder, one argument each: Z: and the path's parts.
components() { local w; w=$(winepath -w "$1"); echo "${w//\\/ }"; }

sox -V1 -D -n -r 44100 -b 16 -c 1 src.wav synth 0.2 sine 440 vol 0.3 || fail "sox"
flac_tagged() {  # OUT TAG=VALUE...
  local out=$1; shift
  mkdir -p "$(dirname "$out")"
  flac -s -f src.wav -o "$out" || fail "flac"
  local args=(); for t in "$@"; do args+=("--set-tag=$t"); done
  [ ${#args[@]} -eq 0 ] || metaflac "${args[@]}" "$out" || fail "metaflac"
}
A=$M/ann/one
flac_tagged "$A/01 Intro.flac" TITLE="Track 10" ARTIST=Ann GENRE="Rock; Pop" ALBUM="One<Two" DATE=2001 TRACKNUMBER=10
flac_tagged "$A/1 Intro.flac" TITLE="Track 2" ARTIST=Ann GENRE="Rock; Pop" ALBUM="One<Two" DATE=2001 TRACKNUMBER=2
flac_tagged "$A/Track.flac" TITLE=abc ARTIST=Ann GENRE="Rock;Pop" ALBUM=Later DATE=2005 TRACKNUMBER=1
flac_tagged "$A/track.flac" TITLE=ABC ARTIST=Ann GENRE=Jazz ALBUM=Earlier DATE=1999 TRACKNUMBER=1
flac_tagged "$A/sub/deep.flac" TITLE=Deep ARTIST="Earth, Wind & Fire" GENRE=Funk ALBUM=Gratitude DATE=1975
flac_tagged "$A/.dot.flac" TITLE=Dot ARTIST=Dot GENRE=Dot ALBUM=Dot
echo text > "$A/notes.txt"
for c in front.jpg cover.jpg FOLDER.JPG; do echo jpg > "$A/$c"; done
echo jpg > "$A/sub/folder.jpg"
mkdir -p "$M/c2" "$M/c3"
for c in Folder.jpg COVER.jpg; do echo jpg > "$M/c2/$c"; done
for c in "Front Cover.jpg" front.jpg; do echo jpg > "$M/c3/$c"; done
mkdir -p "$PWD/x/Music" "$PWD/y/Music"

# The profile watches three folders: the music, and two more named Music.
wine "$VORN_INSPECT" library "$P" --folder "$M" --folder "$PWD/x/Music" --folder "$PWD/y/Music" --system-folders 0 \
  > /dev/null 2>err.txt < /dev/null || { cat err.txt >&2; fail "library"; }

# --- tag view ------------------------------------------------------------------------------------------------------
browse 0
expect_eq "$(items)" "0 Funk/0 Jazz/0 Pop/0 Rock/0 Rock;Pop/" "genres: cut at \"; \" only"
expect_eq "$(lines title)" "All Genres" "level 0 title"
browse 0 Rock
expect_eq "$(lines level)" "Rock" "level 0 key"
expect_eq "$(items)" "1 [albums by all artists]/0 Ann/" "artists of Rock"
expect_eq "$(lines title)" "All artists in <a>Rock</a>" "level 1 title"
expect_eq "$(lines link)" "0	0	Rock" "level 1 link"
browse 0 "[all genres]"
expect_eq "$(items)" "0 Ann/0 Earth, Wind & Fire/" "all artists: no pseudo item"
browse 0 "" Ann
expect_eq "$(items)" "1 [songs from all albums]/0 Earlier [1999]/0 One<Two [2001]/0 Later [2005]/" "Ann's albums by date"
browse 0 "" Ann "One<Two [2001]" --tracks --picture
expect_eq "$(items)" "0 02. Track 2/0 10. Track 10/" "songs of one album"
expect_eq "$(lines title)" "Album: <a>One < Two [2001]</a>, artist: <a>Ann</a>" "a '<' gets its spaces"
expect_eq "$(lines link | tr '\t' ' ' | tr '\n' '/')" "0 0 [all genres] Ann One<Two [2001]/1 0 [all genres] Ann/" "album links"
expect_eq "$(lines track | cut -f1 | sed 's/.*\\//' | tr '\n' '/')" "1 Intro.flac/01 Intro.flac/" "album tracks by number"
expect_eq "$(lines picture)" "$(winepath -w "$A")\\front.jpg" "album picture"
browse 0 "" "Earth, Wind & Fire" "Gratitude [1975]" --picture
expect_eq "$(lines picture)" "$(winepath -w "$A/sub")\\folder.jpg" "a one-track album shows its picture"
expect_eq "$(lines title)" "Album: <a>Gratitude [1975]</a>, artist: <a>Earth, Wind & Fire</a>" "one artist with a comma"
browse 0 "" "" --open "[songs from all albums]"
expect_eq "$(items)" "0 ABC/0 abc/0 Deep/0 Track 2/0 Track 10/" "all songs: case apart, numbers by value"
browse 0 Rock --open Ann --up
expect_eq "$(lines level)" "Rock" "open, then up"

# --- folder tree ---------------------------------------------------------------------------------------------------
browse 1
expect_eq "$(lines title)" "My computer" "root title"
grep -qx 'item	1	Z:\\' out.txt || grep -q '^item	1	Z:\\ \[' out.txt || fail "root lacks Z:\\"
browse 1 $(components "$A") --picture
expect_eq "$(items)" "1 sub/0 01 Intro.flac/0 1 Intro.flac/0 Track.flac/0 track.flac/" "folder listing"
expect_eq "$(lines picture)" "$(winepath -w "$A")\\front.jpg" "cover priority: front.jpg"
expect_eq "$(lines link | wc -l)" "$(( $(components "$A" | wc -w) - 1 ))" "one link per folder above"
browse 1 $(components "$M/c2") --picture
expect_eq "$(lines picture)" "$(winepath -w "$M/c2")\\COVER.jpg" "cover priority: cover.jpg"
browse 1 $(components "$M/c3") --picture
expect_eq "$(lines picture)" "$(winepath -w "$M/c3")\\Front Cover.jpg" "cover priority: front cover.jpg"
browse 1 $(components "$M/ann") --select one --tracks
expect_eq "$(lines track | cut -f1 | sed 's/.*\\one\\//' | tr '\n' '/')" \
  "01 Intro.flac/1 Intro.flac/Track.flac/track.flac/sub\\deep.flac/" "a folder plays its files, then its subfolders"

# --- music folders -------------------------------------------------------------------------------------------------
browse 2 "$KEY"
expect_eq "$(lines title)" "Folders" "music folders title"
expect_eq "$(items)" "0 Music/0 Music (1)/0 Music (2)/" "twins numbered"
expect_eq "$(lines redirect | grep '^Music (1)' | cut -f2- | tr '\t' ' ')" "1 $(components "$PWD/x/Music")" "where a folder leads"
browse 2 "$KEY" --open "Music (2)"
expect_eq "$(lines kind)" "1" "opening a folder leads to the folder tree"
browse 2 "{00000000-0000-0000-0000-000000000000}"
expect_eq "$(items)" "" "a foreign root key shows nothing"

# A drive root and the user's Music folder written in another letter case, in a profile of their own that does
# not monitor (the Music folder of Wine's prefix is a link to the home folder: far too much to index). The
# drive is a free letter linked under the prefix's dosdevices for this test only.
letter=
for l in d e f g h i j k l m n o p q r s t u v w x y; do
  [ -e "$WINEPREFIX/dosdevices/$l:" ] || [ -L "$WINEPREFIX/dosdevices/$l:" ] || { letter=$l; break; }
done
[ -n "$letter" ] || fail "no free drive letter in $WINEPREFIX/dosdevices"
trap 'rm -f "$WINEPREFIX/dosdevices/$letter:"' EXIT
flac_tagged "$PWD/drive/on drive.flac" TITLE=Root
ln -s "$PWD/drive" "$WINEPREFIX/dosdevices/$letter:"
D=${letter^^}
user_profile=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null < /dev/null | tr -d '\r')
[ -n "$user_profile" ] || fail "no user profile folder"
mine="${user_profile^^}\\MUSIC"
P2=$PWD/profile2
wine "$VORN_INSPECT" library "$P2" --folder "$D:\\" --folder "$mine" --system-folders 0 --monitor 0 \
  > /dev/null 2>err.txt < /dev/null || { cat err.txt >&2; fail "library of the second profile"; }
P_SAVED=$P; P=$P2
browse 2 "$KEY"
# "My Music" is the English language table's name of that folder.
expect_eq "$(items)" "0 $D:\\/0 My Music/" "a drive root in full; My Music in any letter case"
expect_eq "$(lines redirect | tr '\t' ' ' | tr '\n' '/')" "$D:\\ 1 $D:/My Music 1 ${mine//\\/ }/" "where they lead"
browse 2 "$KEY" --open "$D:\\"
expect_eq "$(lines kind)/$(lines level)" "1/$D:" "the drive opens in the folder tree"
expect_eq "$(items)" "0 on drive.flac/" "the drive's files"
P=$P_SAVED

# --- watching ------------------------------------------------------------------------------------------------------
wait_ready() { for _ in $(seq 1 300); do grep -q '^ready' "$1" 2>/dev/null && return 0; sleep 0.1; done; fail "no ready in $1"; }
rm -f ev1.txt
wine "$VORN_INSPECT" browse "$P" 1 $(components "$M/c2") --watch 4 --events "$PWD/ev1.txt" > raw1.txt 2>err1.txt < /dev/null &
pid=$!
wait_ready ev1.txt
cp "$A/Track.flac" "$M/c2/copied.flac"
wait $pid || { cat err1.txt >&2; fail "browse --watch"; }
grep -q '^event	[0-9]*	changed	1' ev1.txt || fail "no change event for the copied file"
expect_eq "$(grep -c '^event	[0-9]*	changed	' ev1.txt)" 1 "change events for one copied file"
tr -d '\r' < raw1.txt | grep -qx 'item	0	copied.flac' || fail "copied file not shown"

rm -f ev2.txt
wine "$VORN_INSPECT" browse "$P" 0 "" --watch 6 --events "$PWD/ev2.txt" > raw2.txt 2>err2.txt < /dev/null &
pid=$!
wait_ready ev2.txt
flac_tagged "$PWD/new.flac" TITLE=New ARTIST=Zed GENRE=Pop ALBUM=Fresh
mv "$PWD/new.flac" "$M/c3/new.flac"
wait $pid || { cat err2.txt >&2; fail "browse --watch"; }
grep -q '^event	[0-9]*	changed	' ev2.txt || fail "no change event for the new artist"
expect_eq "$(grep -c '^event	[0-9]*	changed	' ev2.txt)" 1 "change events for one new file"
tr -d '\r' < raw2.txt | grep -qx 'item	0	Zed' || fail "new artist not listed at level 1"
