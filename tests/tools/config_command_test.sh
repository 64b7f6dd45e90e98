# vorn-inspect config: payloads stored through the navigation-state and colour-scheme variables come back
# from config.dat; refused payloads and unknown GUIDs fail and leave the file as it was.

inspect() {  # inspect ARGS...: stdout to out.txt, stderr to err.txt, the exit status in $rc
    set +e
    quiet_retry err.txt wine "$VORN_INSPECT" "$@" > out.txt < /dev/null
    rc=$?
    set -e
    tr -d '\r' < out.txt > out.clean && mv out.clean out.txt
    tr -d '\r' < err.txt > err.clean && mv err.clean err.txt
}

nav='{6490F07D-F12E-4963-8946-FDE5DCC08F3A}'
scheme='{1DE8F186-735F-4F81-B687-430C92993A15}'
# Kind 1 (folder tree) at [["C:"], ["Music"]].
nav_music=01000000020000000100000002000000433a01000000050000004d75736963
black=2ee76df9f1a4a24187866e7222854877
profile="$VORN_TEST_TMP/new/profile"

# The profile folder is made; both payloads come back as stored, each record once, upper-case GUIDs.
inspect config "$profile" "$nav=$nav_music" "${scheme,,}=$black"
expect_eq "$rc" 0 "exit status of config with two payloads ($(cat err.txt))"
[ -f "$profile/config.dat" ] || fail "config.dat not written"
grep -qxF "$nav	$nav_music" out.txt || fail "navigation record missing: $(cat out.txt)"
grep -qxF "$scheme	$black" out.txt || fail "scheme record missing: $(cat out.txt)"
bad=$(grep -vE '^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}	([0-9a-f]+|-)$' out.txt || true)
[ -z "$bad" ] || fail "malformed record lines: $bad"
dups=$(cut -f1 out.txt | sort | uniq -d)
[ -z "$dups" ] || fail "a record listed twice: $dups"
cp out.txt first.txt

# Loaded and saved again without payloads: the same records in the same order.
inspect config "$profile"
expect_eq "$rc" 0 "exit status of config without payloads"
cmp -s out.txt first.txt || fail "records changed by a reload: $(diff first.txt out.txt)"

# The albums view is the default of a fresh profile.
inspect config "$VORN_TEST_TMP/fresh"
grep -qxF "$nav	00000000020000000000000000000000" out.txt || fail "default navigation record: $(grep -F "$nav" out.txt)"

# Refused payloads (the unit tests hold the full table): a bad kind, a level count and a text length beyond
# the record, nothing at all. Each fails, prints
# nothing and leaves config.dat byte for byte as it was.
before=$(md5sum < "$profile/config.dat")
for payload in 0300000002000000000000000000000000 01000000ffffffff 010000000100000001000000ffffffff00 ""; do
    inspect config "$profile" "$scheme=01ee21832f0edd4c99882cfada2ced4c" "$nav=$payload"
    [ "$rc" -ne 0 ] || fail "payload '$payload' accepted"
    [ ! -s out.txt ] || fail "output of a refused payload '$payload': $(cat out.txt)"
    expect_eq "$(md5sum < "$profile/config.dat")" "$before" "config.dat after the refused payload '$payload'"
done
inspect config "$profile" "$nav=$nav_music" "$scheme=$black" "$nav=03000000"
[ "$rc" -ne 0 ] || fail "a bad kind after good payloads accepted"
expect_eq "$(md5sum < "$profile/config.dat")" "$before" "config.dat after a bad kind following good payloads"

# An unknown GUID or bad hex fails with nothing written.
for argument in "{01234567-89AB-CDEF-0123-456789ABCDEF}=00" "$scheme=0g"; do
    inspect config "$profile" "$argument"
    [ "$rc" -ne 0 ] || fail "'$argument' accepted"
    [ -s err.txt ] || fail "no error text for '$argument'"
    expect_eq "$(md5sum < "$profile/config.dat")" "$before" "config.dat after '$argument'"
done

# The stored place is still the one given first.
inspect config "$profile"
grep -qxF "$nav	$nav_music" out.txt || fail "navigation record after the refusals: $(grep -F "$nav" out.txt)"
