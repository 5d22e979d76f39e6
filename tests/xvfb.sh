#!/bin/sh
# The test run's own X server: `xvfb.sh start DIR` starts Xvfb on a free display with openbox as
# its window manager and writes its number to DIR/display; `xvfb.sh stop DIR` stops both. Without Xvfb nothing starts and the GUI
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
      number=$(cat "$dir/display.tmp")
      # A real window manager: without one, GTK's nested modal dialogs stay unpainted on Xvfb.
      rm -f "$dir/wm.pid"
      if command -v openbox >/dev/null 2>&1; then
        DISPLAY=":$number" setsid openbox --sm-disable >"$dir/openbox.log" 2>&1 &
        echo $! >"$dir/wm.pid"
        # The tests start once the manager owns the screen (it sets _NET_SUPPORTING_WM_CHECK).
        i=0
        while [ $i -lt 100 ] && ! DISPLAY=":$number" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
          sleep 0.1
          i=$((i + 1))
        done
        echo "xvfb.sh: openbox on :$number"
      else
        echo "xvfb.sh: openbox is not installed; dialogs are judged without a window manager"
      fi
      mv "$dir/display.tmp" "$dir/display"
      echo "xvfb.sh: Xvfb on :$number"
    else
      echo "xvfb.sh: Xvfb did not start (see $dir/xvfb.log); the tests that need a screen will skip"
      kill "$(cat "$dir/pid")" 2>/dev/null
      rm -f "$dir/pid"
    fi
    exit 0
    ;;
  stop)
    if [ -f "$dir/wm.pid" ]; then
      kill "$(cat "$dir/wm.pid")" 2>/dev/null
      rm -f "$dir/wm.pid"
    fi
    if [ -f "$dir/pid" ]; then
      kill "$(cat "$dir/pid")" 2>/dev/null
      rm -f "$dir/pid" "$dir/display"
    fi
    exit 0
    ;;
esac
echo "usage: xvfb.sh start|stop DIR" >&2
exit 2
