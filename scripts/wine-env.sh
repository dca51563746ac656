# Sourced by the run and test scripts: a Wine prefix of the project's own under
# the build folder, a persistent wineserver, and an optional virtual display.
# Usage: source scripts/wine-env.sh; wine_setup BUILD_DIR; ...; wine_teardown

wine_setup() {
  local build=$1
  export WINEPREFIX="$build/wineprefix"
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  mkdir -p "$build"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true

  if [ ! -f "$WINEPREFIX/.tarvello-prefix-v3" ]; then
    echo "wine: creating the prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    # Detached output: the first wine process hands its pipes to helpers that
    # outlive it, and a reader on the other end would wait forever.
    wine wineboot --init </dev/null >/dev/null 2>&1
    wineserver -w
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
    local subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    wine reg add "$subst" /v SimSun /d "WenQuanYi Micro Hei" /f </dev/null >/dev/null 2>&1
    wine reg add "$subst" /v 宋体 /d "WenQuanYi Micro Hei" /f </dev/null >/dev/null 2>&1
    # A crashing test ends at once instead of waiting in the debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f </dev/null >/dev/null 2>&1
    # Without a window manager every hide of a top-level window waits 2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.tarvello-prefix-v3"
  fi
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

# Graphics=null gives a headless screen; x11 draws on $DISPLAY. The desktop
# process keeps the driver it started with, so the server is restarted.
wine_graphics() {
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f </dev/null >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

xvfb_start() {
  local n
  for n in 91 92 93 94 95 96 97 98 99; do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  done
  echo "wine: could not start Xvfb" >&2
  return 1
}

xvfb_stop() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

wine_teardown() {
  wineserver -k >/dev/null 2>&1 || true
  xvfb_stop
}
