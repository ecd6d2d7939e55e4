# Shared by scripts/test, scripts/run and the benchmark: a private Wine prefix in code page 932,
# and an X display (the caller's, or a private Xvfb).
# Source it, then call wine_env_start [--private-display]; wine_env_stop runs on exit.
# wine_env_run_line starts a program with an exact command line (quotes and any name kept).

WINE64=/usr/lib/wine/wine64
export LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

_wine_env_font_dir=/usr/share/wine/fonts
_wine_env_xvfb_pid=""
_wine_env_prefix_made=""

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -n "$_wine_env_prefix_made" ]; then
    WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
    WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver -w 2>/dev/null || true
    # A small disk a test mounted inside the prefix and could not unmount while Wine held it.
    awk -v prefix="$WINEPREFIX/" 'index($2, prefix) == 1 {print $2}' /proc/mounts | sort -r |
      while read -r mounted; do umount -l "$mounted" 2>/dev/null || true; done
    rm -rf "$WINEPREFIX"
  fi
  if [ -n "$_wine_env_xvfb_pid" ]; then
    kill "$_wine_env_xvfb_pid" 2>/dev/null || true
    wait "$_wine_env_xvfb_pid" 2>/dev/null || true
  fi
}

_wine_env_start_xvfb() {
  # Two lanes start their displays at the same moment: the lock makes choosing a free number and
  # seeing its socket appear one step, so no two lanes share (and one later kills) a display.
  local n lock_fd status=1
  exec {lock_fd}>/tmp/tallowbox-xvfb.lock
  flock "$lock_fd"
  for n in $(seq 90 130); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      _wine_env_xvfb_pid=$!
      export DISPLAY=":$n"
      for _ in $(seq 1 50); do
        if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$_wine_env_xvfb_pid" 2>/dev/null; then
          status=0
          break
        fi
        sleep 0.1
      done
      [ "$status" -eq 0 ] || echo "wine-env: Xvfb :$n did not start" >&2
      break
    fi
  done
  [ -n "$_wine_env_xvfb_pid" ] || echo "wine-env: no free X display number" >&2
  flock -u "$lock_fd"
  exec {lock_fd}>&-
  return "$status"
}

wine_env_start() {
  if [ "${1:-}" = "--private-display" ] || [ -z "${DISPLAY:-}" ]; then
    _wine_env_start_xvfb
  fi
  export WINEPREFIX
  WINEPREFIX=$(mktemp -d /tmp/tallowbox-wine.XXXXXX)
  _wine_env_prefix_made=1
  trap wine_env_stop EXIT
  # Wine draws caption buttons and other frame symbols with its own Marlett. This Wine looks
  # for its own fonts in <data dir>/../fonts (/usr/share/fonts, top level only), while
  # fonts-wine puts them in /usr/share/wine/fonts, so no prefix ever sees Marlett and the
  # buttons read "0 1 r". Every Wine also loads C:\windows\Fonts: put the symbol font there.
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  if [ -f "$_wine_env_font_dir/marlett.ttf" ]; then
    cp "$_wine_env_font_dir/marlett.ttf" "$WINEPREFIX/drive_c/windows/Fonts/"
  else
    echo "wine-env: $_wine_env_font_dir/marlett.ttf is missing (fonts-wine): caption buttons will show letters" >&2
  fi
  "$WINE64" wineboot -i >/dev/null 2>&1
  # Without a window manager, every window close costs about two seconds unless Wine manages none.
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # The dialogs name "ＭＳ Ｐゴシック", which a bare prefix lacks; IPA's proportional Gothic is
  # its usual stand-in and gives the widths the layout was made for.
  local font
  for font in 'ＭＳ Ｐゴシック' 'MS PGothic' 'MS UI Gothic'; do
    "$WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d IPAPGothic /f >/dev/null 2>&1
  done
  /usr/lib/wine/wineserver -w
}

# Runs one exact command line (the program and its arguments, quoted as the caller wants) through
# the Windows command processor, and waits for it. Wine quotes an argument itself only when it
# holds a blank, and a batch file is read in the ANSI code page, so the batch file (written to
# the path given) only expands an environment variable that carries the line: every character
# arrives, names outside code page 932 too.
wine_env_run_line() { # batch-file line
  printf '@echo off\r\n%%TALLOWBOX_COMMAND_LINE%%\r\n' >"$1"
  TALLOWBOX_COMMAND_LINE=$2 "$WINE64" cmd /c "$(WINEPREFIX="$WINEPREFIX" winepath -w "$1" 2>/dev/null)"
}
