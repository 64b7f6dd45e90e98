# The output commands of vorn-inspect without recording: the device list, the session volume read back as
# set (and clamped), and failures that end with a clear error and status 1 instead of hanging.

# A status above 128 is Wine's own loader dying on a signal (seen once, under load, while another test
# started its sound device), not the program failing: such a run is made once more.
inspect() {  # inspect ARGS...: stdout to out.txt, stderr to err.txt, the exit status in $rc
    local attempt
    for attempt in 1 2; do
        set +e
        VORN_WINE_NO_RETRY=1 timeout 60 wine "$VORN_INSPECT" "$@" > out.txt 2> err.txt < /dev/null
        rc=$?
        set -e
        [ "$rc" -gt 128 ] || break
        echo "vorn-inspect $* died with status $rc; once more" >&2
    done
    tr -d '\r' < out.txt > out.clean && mv out.clean out.txt
    tr -d '\r' < err.txt > err.clean && mv err.clean err.txt
}

guid='\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}'

# output-devices: the "DS" module (flags 0 from Vista on), then its devices, the default (null GUID) first.
inspect output-devices
expect_eq "$rc" 0 "exit status of output-devices"
expect_eq "$(head -n1 out.txt)" "module {D41D2423-FBB0-4635-B233-7054F79814AB} DS flags 0" "module line"
expect_eq "$(sed -n 2p out.txt | cut -d' ' -f1-2)" "device {00000000-0000-0000-0000-000000000000}" "first device"
[ "$(wc -l < out.txt)" -ge 3 ] || fail "no device besides the default: $(cat out.txt)"
bad=$(tail -n +2 out.txt | grep -vE "^device $guid .+" || true)
[ -z "$bad" ] || fail "malformed device lines: $bad"

# session-volume: what is set reads back, limited to -100 .. 0 dB.
for pair in "-6:-6.00" "-0.5:-0.50" "5:0.00" "-150:-100.00" "-100:-100.00"; do
    inspect session-volume --set "${pair%%:*}"
    expect_eq "$rc" 0 "exit status of session-volume --set ${pair%%:*}"
    expect_eq "$(cat out.txt)" "volume ${pair#*:}" "session volume set to ${pair%%:*}"
done
inspect session-volume
expect_eq "$(cat out.txt)" "volume 0.00" "session volume of a new session"

# Failures: the error on standard error, nothing on standard output, status 1.
failure() {  # failure TEXT ARGS...
    local text=$1
    shift
    inspect "$@"
    expect_eq "$rc" 1 "exit status of $*"
    [ ! -s out.txt ] || fail "output written by a failing command: $(cat out.txt)"
    [ -z "$text" ] || expect_contains err.txt "$text"
    [ -s err.txt ] || fail "no error text for $*"
}
failure "Audio device not found" output tone:440:1 --device "{0BADC0DE-0000-4000-8000-000000000001}"
failure "Output module not found" output tone:440:1 --module "{0BADC0DE-0000-4000-8000-000000000002}"
failure "" output "$VORN_TEST_TMP/missing.flac"
printf 'not audio at all' > junk.flac
failure "" output "$PWD/junk.flac"
failure "bad --device" output tone:440:1 --device "{1234}"
failure "bad tone" output tone:0:1
failure "bad --at" output tone:440:1 --at 1:jump
failure "bad --set" session-volume --set loud
