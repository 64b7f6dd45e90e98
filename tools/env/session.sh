# The run-time environment of the player and its tests: a reused Wine prefix with Wine's fonts, a
# persistent wineserver, an X display, a PulseAudio null sink for DirectSound and a UTF-8 locale.
# Sourced by ./vorn.  vorn_session_start BUILD_DIR [ARCH] sets it up for the flavour ARCH (i686, the
# default, or x86_64); vorn_session_stop ends everything it started (registered as an EXIT trap), so no
# process outlives the run and holds its output pipes.

# A folder of wrappers first on PATH, for the test scripts' plain `wine`, `wineboot`, `winepath` and
# `wineserver`. `wine` starts a program again once when Wine's own loader died by SIGSEGV (status 139), which it
# does now and then on a loaded machine (a crash of the Windows program ends with its exception code instead). The
# death can also come at exit, after the program's output: a caller that retries itself, or compares output,
# sets VORN_WINE_NO_RETRY=1. Debian's `wine` and `wineboot` prefer the 32-bit loader whenever
# wine32 is installed, so for x86_64 all four take the 64-bit loader and server.
vorn_wine_wrappers() {
  local dir=$1 arch=$2 loader=/usr/bin/wine
  mkdir -p "$dir"
  [ "$arch" = x86_64 ] && loader=/usr/lib/wine/wine64
  printf '#!/bin/sh
%s "$@"
rc=$?
if [ $rc -eq 139 ] && [ -z "$VORN_WINE_NO_RETRY" ]; then
  echo "vorn: Wine'"'"'s loader crashed (status 139); starting again" >&2
  %s "$@"
  rc=$?
fi
exit $rc
' \
    "$loader" "$loader" > "$dir/wine"
  chmod +x "$dir/wine"
  if [ "$arch" = x86_64 ]; then
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot.exe "$@"\n' > "$dir/wineboot"
    printf '#!/bin/sh\nexec /usr/lib/wine/wineserver64 "$@"\n' > "$dir/wineserver"
    chmod +x "$dir/wineboot" "$dir/wineserver"
  fi
  # `winepath` through the flavour's loader. On a loaded machine Wine now and then fails to start it ("Application
  # could not be started", status 1, printed where the path should be): such a run is made once more, and what the
  # run printed is passed on only when it is the one that counts.
  printf '#!/bin/sh
out=$(%s winepath.exe "$@")
rc=$?
if [ $rc -ne 0 ]; then
  out=$(%s winepath.exe "$@")
  rc=$?
fi
[ -z "$out" ] || printf "%%s\\n" "$out"
exit $rc
' "$loader" "$loader" > "$dir/winepath"
  chmod +x "$dir/winepath"
}

vorn_session_start() {
  local build=$1 arch=${2:-i686}
  vorn_wine_wrappers "$build/wine-bin" "$arch"
  export PATH="$build/wine-bin:$PATH"
  if [ "$arch" = x86_64 ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  else
    export WINEARCH=win32
  fi
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG="${WINEDEBUG--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=}"
  export XDG_RUNTIME_DIR="$build/xdg-runtime"
  export XDG_CONFIG_HOME="$build/xdg-config"
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  # Wine's sound driver keeps the sound server's buffer for its stream at a few milliseconds; on a virtual
  # machine its thread misses that often enough for the server to play silence into the stream many times
  # a minute. 60 ms of buffer there makes that rare (the program's own buffer, seconds, is not touched).
  export PULSE_LATENCY_MSEC=60
  mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
  VORN_SESSION_PIDS=()
  vorn_session_join && return 0
  trap vorn_session_stop EXIT

  # The marker names the prefix's architecture: a prefix made for the other one (an older build folder) is
  # made again, since Wine cannot boot a win64 prefix as win32.
  if [ "$(cat "$WINEPREFIX/.vorn-ready" 2>/dev/null)" != "$WINEARCH" ]; then
    echo "vorn: creating the Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # A crashing test program must end, not wait in Wine's interactive debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    echo "$WINEARCH" > "$WINEPREFIX/.vorn-ready"
  fi
  # A server still running for this prefix (one an earlier session left, or one still winding down)
  # makes -p fail; the session then simply uses it.
  wineserver -p 2>/dev/null || true

  if [ -z "${DISPLAY:-}" ]; then
    local fdfile="$XDG_RUNTIME_DIR/xvfb.display"
    rm -f "$fdfile"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    VORN_SESSION_PIDS+=($!)
    local i
    for i in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$fdfile")"
  fi
  # Start the prefix's system processes (services, winedevice, the desktop) now, after the display
  # exists (a desktop started without one cannot show any window), with no output pipes: started
  # by the first test they would inherit and hold its pipes, and the test runner would wait forever.
  wineboot >/dev/null 2>&1 </dev/null

  if command -v pulseaudio >/dev/null; then
    # No shared memory: with it the daemon now and then aborts on a memory block it cannot import (an
    # assertion in memblock.c), taking the sound device away from the running tests.
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --disable-shm=yes \
      --load=module-native-protocol-unix \
      --load="module-null-sink sink_name=capture format=float32le rate=${VORN_SINK_RATE:-44100} channels=2 norewinds=1" \
      --log-target=file:"$XDG_RUNTIME_DIR/pulse.log" >/dev/null 2>&1 || true
    local i
    for i in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl set-default-sink capture >/dev/null 2>&1 || true
  fi
  vorn_session_mark
}

vorn_session_stop() {
  trap - EXIT
  rm -f "$XDG_RUNTIME_DIR/session.owner"
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  command -v pulseaudio >/dev/null && pulseaudio --kill >/dev/null 2>&1
  local p
  for p in "${VORN_SESSION_PIDS[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  return 0
}

# ---- Joining a running session -------------------------------------------------------------------
# The ./vorn that started a session writes its process id and display into $XDG_RUNTIME_DIR/session.owner.
# Another ./vorn of the same build folder started while that process lives joins the session (prefix,
# wineserver, display, sound server) instead of starting its own, and leaves it running when it ends; only
# the starter stops it. The joiner cannot change the sink's rate (VORN_SINK_RATE).

vorn_session_mark() {
  echo "$$ ${DISPLAY:-}" > "$XDG_RUNTIME_DIR/session.owner"
}

vorn_session_join() {
  local owner="$XDG_RUNTIME_DIR/session.owner" pid display
  [ -f "$owner" ] || return 1
  read -r pid display < "$owner" || return 1
  [ -n "$pid" ] && [ "$pid" != "$$" ] && kill -0 "$pid" 2>/dev/null || return 1
  [ -n "$display" ] && export DISPLAY="$display"
  VORN_SESSION_JOINED=1
  return 0
}

# ---- Recording what the program plays (VORN_CAPTURE) ---------------------------------------------
# vorn_capture_start FILE records the null sink's monitor into FILE: raw 32-bit float little-endian,
# stereo, at the sink's rate, in 20 ms blocks; vorn_capture_stop ends it 0.5 s later.

vorn_sink_rate() {
  pactl list short sinks 2>/dev/null | awk '$2 == "capture" { for (i = 3; i <= NF; i++) if ($i ~ /^[0-9]+Hz$/) { sub(/Hz$/, "", $i); print $i; exit } }'
}

vorn_capture_start() {
  local rate
  rate=$(vorn_sink_rate)
  env -u PULSE_LATENCY_MSEC parec -d capture.monitor --raw --format=float32le --channels=2 --rate="${rate:-44100}" --latency-msec=20 \
    > "$1" 2>/dev/null &
  VORN_CAPTURE_PID=$!
  # Recording starts when the sound server lists parec's stream (on a loaded machine that can take longer
  # than any fixed wait); 10 s at most.
  local i
  for i in $(seq 200); do
    pactl list source-outputs 2>/dev/null | grep -q "application.process.id = \"$VORN_CAPTURE_PID\"" && return 0
    kill -0 "$VORN_CAPTURE_PID" 2>/dev/null || return 0
    sleep 0.05
  done
}

vorn_capture_stop() {
  [ -n "${VORN_CAPTURE_PID:-}" ] || return 0
  sleep 0.5
  kill "$VORN_CAPTURE_PID" 2>/dev/null
  wait "$VORN_CAPTURE_PID" 2>/dev/null
  VORN_CAPTURE_PID=
  return 0
}

# ---- Windows version of one program (VORN_WINVER) ------------------------------------------------
# vorn_winver_set EXE VERSION makes Wine report VERSION (winxp, win7, win10, ...) to programs of EXE's file
# name, through HKCU\Software\Wine\AppDefaults\NAME; vorn_winver_clear EXE removes it. A 64-bit program gets
# "winxp64" for "winxp" (Wine's XP there is version 5.2).

vorn_exe_is_64bit() {
  # The PE header's machine field: 0x8664 for x86-64.
  python3 - "$1" <<'PY'
import struct, sys
with open(sys.argv[1], "rb") as f:
    data = f.read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0]
sys.exit(0 if struct.unpack_from("<H", data, pe + 4)[0] == 0x8664 else 1)
PY
}

vorn_winver_set() {
  local name version=$2
  name=$(basename "$1")
  if [ "$version" = winxp ] && vorn_exe_is_64bit "$1"; then version=winxp64; fi
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /d "$version" /f >/dev/null 2>&1
}

vorn_winver_clear() {
  local name
  name=$(basename "$1")
  wine reg delete "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /f >/dev/null 2>&1 || true
}
