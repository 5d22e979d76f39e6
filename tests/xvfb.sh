#!/bin/sh
# The test run's own X server: `xvfb.sh start DIR` starts Xvfb on a free display and writes its
# number to DIR/display; `xvfb.sh stop DIR` stops it. Without Xvfb nothing starts and the GUI
# tests skip.
set -u
dir=$2
case "$1" in
  start)
    mkdir -p "$dir"
    rm -f "$dir/display" "$dir/pid" "$dir/display.tmp"
    if ! command -v Xvfb >/dev/null 2>&1; then
      echo "xvfb.sh: Xvfb is not installed; the tests that need a screen will skip"
      exit 0
    fi
    # -displayfd lets the server pick an unused display number and tell it; setsid keeps it
    # running after this script, which ctest ends with its process group.
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display.tmp" >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/pid"
    i=0
    while [ $i -lt 100 ] && ! [ -s "$dir/display.tmp" ]; do
      sleep 0.1
      i=$((i + 1))
    done
    if [ -s "$dir/display.tmp" ]; then
      mv "$dir/display.tmp" "$dir/display"
      echo "xvfb.sh: Xvfb on :$(cat "$dir/display")"
    else
      echo "xvfb.sh: Xvfb did not start (see $dir/xvfb.log); the tests that need a screen will skip"
      kill "$(cat "$dir/pid")" 2>/dev/null
      rm -f "$dir/pid"
    fi
    exit 0
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      kill "$(cat "$dir/pid")" 2>/dev/null
      rm -f "$dir/pid" "$dir/display"
    fi
    exit 0
    ;;
esac
echo "usage: xvfb.sh start|stop DIR" >&2
exit 2
