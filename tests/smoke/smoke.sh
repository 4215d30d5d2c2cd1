#!/bin/bash
# Starts TrevnaConf.exe under Wine (the caller provides the X display, e.g. xvfb-run), waits
# for its main window "TrevnaConf", saves a screenshot, closes the window and expects exit 0.
set -u
exe="$1"
artifacts="$2"
helper="$3"
run="$(dirname "$0")/../../cmake/wine-run.sh"
mkdir -p "$artifacts"
if [ -z "${DISPLAY:-}" ]; then
  echo "smoke: no X display (run under xvfb-run)" >&2
  exit 1
fi

"$run" "$exe" &
app=$!

if ! "$run" "$helper" MainFrame TrevnaConf 90; then
  echo "smoke: the main window did not appear" >&2
  kill "$app" 2>/dev/null
  exit 1
fi
sleep 2  # let it finish painting
shot="$artifacts/main-window.png"
if command -v import >/dev/null; then
  import -window root "$shot" && echo "smoke: screenshot $shot"
fi
"$run" "$helper" MainFrame TrevnaConf 10 --close >/dev/null

for _ in $(seq 1 300); do
  if ! kill -0 "$app" 2>/dev/null; then break; fi
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
  echo "smoke: the program did not end after WM_CLOSE" >&2
  kill "$app"
  exit 1
fi
wait "$app"
code=$?
echo "smoke: exit code $code"
[ "$code" -eq 0 ]
