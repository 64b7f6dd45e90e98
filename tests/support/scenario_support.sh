# The script side of a test program's scripted GUI scenario (see scenario_step in gui_support.h): the script
# starts the program with VORN_SCENARIO_DIR=$dir, keeps its process id in $pid, then
#     await edit     # waits for "$dir/edit.ready" and prints what the program wrote there
#     ...xdotool input...; shot edit-done
#     go edit        # lets the program go on and check the result
# shot writes a screenshot of the display into $shots.

# await STEP: waits for the program's hand-over; prints what it wrote there.
await() {
    local i
    for i in $(seq 600); do
        [ -e "$dir/$1.ready" ] && { cat "$dir/$1.ready"; return 0; }
        kill -0 $pid 2>/dev/null || { cat "$dir/log" >&2; fail "the program ended before step $1"; }
        sleep 0.1
    done
    kill $pid; fail "step $1 never came"
}
go() { touch "$dir/$1.go"; }
shot() { import -window root "$shots/$1.png" || fail "no screenshot $1"; }
