# vorn-inspect: the command table, the services listing and the general failure rules.

inspect() {  # inspect ARGS...: stdout to out.txt, stderr to err.txt, the exit status in $rc
    set +e
    quiet_retry err.txt wine "$VORN_INSPECT" "$@" > out.txt < /dev/null
    rc=$?
    set -e
    tr -d '\r' < err.txt > err.clean && mv err.clean err.txt
}

# --help prints the table with every command and its help line.
inspect --help
expect_eq "$rc" 0 "exit status of --help"
expect_contains out.txt "usage: vorn-inspect COMMAND"
grep -qE '^  services +lists the registered service classes' out.txt || fail "services missing from --help: $(cat out.txt)"

# services: one line per class, GUID in braces and the count; the program's own classes are there once.
inspect services
expect_eq "$rc" 0 "exit status of services"
[ -s out.txt ] || fail "services printed nothing"
bad=$(grep -vE '^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\} [1-9][0-9]*$' out.txt || true)
[ -z "$bad" ] || fail "malformed services lines: $bad"
dups=$(cut -d' ' -f1 out.txt | sort | uniq -d)
[ -z "$dups" ] || fail "a class listed twice: $dups"
for class in "{1131D64B-04CB-43EE-95EB-24D18B753248} 1" \
             "{5CD49B5D-D604-4C07-A8FA-FFD8512AFD2B} 1" \
             "{C71B99BD-12C5-48FE-A9C0-469F6FEA88BF} 1" \
             "{2DC57FF7-476D-42F5-A05A-60499896134A} 1" \
             "{AD537D40-499D-4C29-81D4-C0FA496DD58C} 1"; do
    grep -qxF "$class" out.txt || fail "'$class' not listed: $(cat out.txt)"
done
grep -qE '^\{74497D81-6158-48BA-9657-386A5520D0FF\} [1-9]' out.txt || fail "no persistent_state implementation listed"

# Failures: the error on standard error, nothing on standard output, a non-zero status.
inspect services extra
expect_eq "$rc" 1 "exit status with an unexpected argument"
expect_contains err.txt "unexpected argument: extra"
[ ! -s out.txt ] || fail "output written by a failing command: $(cat out.txt)"

inspect services --bogus
expect_eq "$rc" 1 "exit status with an unknown option"
expect_contains err.txt "unknown option: --bogus"

inspect no-such-command
expect_eq "$rc" 2 "exit status of an unknown command"
expect_contains err.txt "unknown command: no-such-command"
[ ! -s out.txt ] || fail "output written for an unknown command"

# Paths relative to the current folder, as a user types them; lengths in plain decimals ("10", not "1e+01").
inspect_in() {  # inspect_in DIR ARGS...: inspect run from DIR; out.txt, err.txt and $rc as inspect's
    local dir=$1; shift
    set +e
    (cd "$dir" && wine "$VORN_INSPECT" "$@") > out.txt 2> err.txt < /dev/null
    rc=$?
    set -e
    tr -d '\r' < out.txt > out.clean && mv out.clean out.txt
}
mkdir -p music/sub
sox -n -r 8000 -c 1 -b 16 music/ten.wav trim 0 10
sox -n -r 10000 -c 1 -b 16 music/sub/short.wav trim 0 0.0001
inspect_in music info ten.wav
expect_eq "$rc" 0 "exit status of info with a relative path ($(cat err.txt))"
expect_eq "$(grep '^length' out.txt)" "length 10" "length of a 10-second file"
inspect_in music/sub info ../ten.wav
expect_eq "$rc" 0 "exit status of info with a path through the parent folder ($(cat err.txt))"
inspect_in music info sub/short.wav
expect_eq "$rc" 0 "exit status of info with a path into a subfolder ($(cat err.txt))"
expect_eq "$(grep '^length' out.txt)" "length 0.0001" "length of a 0.1-millisecond file"
inspect_in music decode ten.wav 0 ten.pcm
expect_eq "$rc" 0 "exit status of decode with relative paths ($(cat err.txt))"
expect_eq "$(stat -c %s music/ten.pcm)" 160000 "bytes decoded into a relative output path"
