# Two processes on one profile: a second start forwards its command line (relative names resolved against
# its own folder, switches included) to the running instance and ends; "/exit" forwarded ends the instance
# cleanly; afterwards a start is the instance itself again. A broken language file with "/quiet" ends the
# start quietly without a message box.

debug_lines() { grep -a 'debugstr' "$1" | sed 's/^.*OutputDebugString[AW] //' | tr -d '\r'; }

mkdir -p app/music/sub
cp "$VORN_EXE" app/vorn.exe
touch app/vorn.exe.localconfig.opt app/music/a.flac app/music/b.flac app/music/c.txt app/music/sub/d.flac

WINEDEBUG=+debugstr wine app/vorn.exe > first.log 2>&1 < /dev/null &
first=$!
trap 'kill $first 2>/dev/null || true' EXIT
for i in $(seq 300); do [ -e app/vorn-configuration/running ] && break; sleep 0.1; done
[ -e app/vorn-configuration/running ] || fail "the first instance did not start"

# A second start from another folder: relative names, a wildcard, a folder and a switch no handler takes.
start=$(date +%s)
set +e
(cd app/music && WINEDEBUG=+debugstr wine ../vorn.exe "*.flac" sub /bogus > ../../second.log 2>&1 < /dev/null)
rc=$?
set -e
expect_eq "$rc" 0 "exit code of the forwarding start"
[ $(( $(date +%s) - start )) -lt 20 ] || fail "forwarding took too long"
expect_contains second.log "Exiting (Another instance is already running)"
if grep -aq "Open location" second.log; then fail "the second start handled its command line itself"; fi

# The debugger lines show each backslash doubled.
music=$(winpath "$VORN_TEST_TMP/app/music" | sed 's/\\/\\\\/g')
for i in $(seq 50); do grep -aqF 'music\\sub' first.log && break; sleep 0.1; done
debug_lines first.log > first.lines
for expected in "Open location: file://$music\\\\a.flac" "Open location: file://$music\\\\b.flac" \
                "Open location: file://$music\\\\sub"; do
    grep -qF -- "$expected" first.lines || { cat first.lines >&2; fail "the instance did not log: $expected"; }
done
if grep -qF "c.txt" first.lines; then fail "the wildcard took c.txt"; fi
# The unknown switch shows the instance's popup notice titled "Error".
notice=""
for i in $(seq 50); do
    for pid in $first $(pgrep -P $first 2>/dev/null || true); do
        notice=$(xdotool search --all --pid "$pid" --name '^Error$' 2>/dev/null | head -n1 || true)
        [ -n "$notice" ] && break 2
    done
    sleep 0.1
done
[ -n "$notice" ] || fail "no popup notice 'Error' from the instance"

# "/exit" from a second start ends the instance cleanly.
set +e
WINEDEBUG=+debugstr wine app/vorn.exe /exit > third.log 2>&1 < /dev/null
rc=$?
set -e
expect_eq "$rc" 0 "exit code of the start that forwarded /exit"
expect_contains third.log "Exiting (Another instance is already running)"
for i in $(seq 300); do kill -0 $first 2>/dev/null || break; sleep 0.1; done
if kill -0 $first 2>/dev/null; then fail "the instance did not end after /exit"; fi
set +e; wait $first; rc=$?; set -e
trap - EXIT
expect_eq "$rc" 0 "exit code of the instance ended by /exit"
expect_contains first.log "Terminated normally."
[ ! -e app/vorn-configuration/running ] || fail "the running file outlived the instance"

# With the instance gone, the next start is the instance again.
set +e
WINEDEBUG=+debugstr wine app/vorn.exe /quiet > fourth.log 2>&1 < /dev/null
rc=$?
set -e
expect_eq "$rc" 0 "exit code of a start after the instance ended"
expect_contains fourth.log "Terminated normally."

# A broken language file with /quiet: no message box waits; the start ends quietly with exit code 0.
printf '<?xml version="1.0" encoding="utf-8"?>\n<localization></localization><localization/>\n' \
    > app/vorn-configuration/vorn-language.xml
set +e
timeout 60 env WINEDEBUG=+debugstr wine app/vorn.exe /quiet > broken.log 2>&1 < /dev/null
rc=$?
set -e
expect_eq "$rc" 0 "exit code with a broken language file"
expect_contains broken.log "Exiting (Broken or incomplete language file.)"
