# "config.dat" is the same file for both flavours of the program: the i686 and the x86_64 builds of the
# foundation test program each save a variable of every payload form through the real start-up and shut-down
# path, the two files are byte-identical, and each flavour reads the other's file back with every value intact
# (and, with nothing changed, leaves it as it is).
# It needs both builds and a Wine that runs both: it runs in the x86_64 suite (a 64-bit prefix runs 32-bit
# programs too, where the machine runs them) once the i686 build beside it exists, as .ci/run arranges.

case "$VORN_BUILD_DIR" in
    *-x86_64) i686_build=${VORN_BUILD_DIR%-x86_64}; x86_64_build=$VORN_BUILD_DIR ;;
    *) skip "runs in the x86_64 suite (a 32-bit prefix cannot run 64-bit programs)" ;;
esac
i686_program="$i686_build/tests/test_foundation.exe"
x86_64_program="$x86_64_build/tests/test_foundation.exe"
[ "${VORN_RUNS_32BIT:-}" = 1 ] || skip "this machine runs no 32-bit programs (or ./vorn did not say: VORN_RUNS_32BIT)"
[ -f "$i686_program" ] || skip "no i686 build beside this one ($i686_program)"
[ -f "$x86_64_program" ] || fail "no $x86_64_program"

mkdir profile
profile_win=$(winpath "$VORN_TEST_TMP/profile")
dat=profile/config.dat

# child PROGRAM CASE LOG: one child case of a test program over the profile.
child() { config_child "$1" "$profile_win" "$2" "$3"; }

child "$i686_program" "save every form" save-i686.log
[ -f "$dat" ] || fail "the i686 run wrote no config.dat"
mv "$dat" i686.dat
child "$x86_64_program" "save every form" save-x86_64.log
[ -f "$dat" ] || fail "the x86_64 run wrote no config.dat"
mv "$dat" x86_64.dat
cmp i686.dat x86_64.dat || fail "the two flavours wrote different config.dat files"

for reader in i686 x86_64; do
    writer=$([ $reader = i686 ] && echo x86_64 || echo i686)
    cp "$writer.dat" "$dat"
    program=$([ $reader = i686 ] && echo "$i686_program" || echo "$x86_64_program")
    child "$program" "load every form" "load-$reader.log"
    cmp -s "$dat" "$writer.dat" || fail "the $reader flavour rewrote the $writer flavour's unchanged config.dat"
done
