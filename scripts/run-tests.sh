#!/bin/bash
# Runs every test: native (ASan/UBSan), cross-built under Wine with Xvfb (unit, Win32 and the
# start-up smoke test), and short fuzz runs on the seed corpora. Ends with 'N passed, N failed'.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${TREVNA_TEST_JOBS:-2}"
fuzz_seconds="${TREVNA_FUZZ_SECONDS:-3}"
runs=()

run_ctest() {  # label build-dir [ctest args...]
  local label="$1" dir="$2"
  shift 2
  local start
  start=$(date +%s)
  echo "== $label tests"
  (cd "$dir" && "$@" ctest -j"$jobs" --output-on-failure --output-junit "$dir/ctest-junit.xml" --timeout 900)
  runs+=("$label:$dir/ctest-junit.xml:$dir/test-results:$start")
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
rm -f "$root"/build/native/ctest-junit.xml "$root"/build/windows/ctest-junit.xml
run_ctest native "$root/build/native"

# Wine: one prefix for every Windows test, made before the tests run in parallel.
export TREVNA_WINEPREFIX="$root/build/windows/tests/wineprefix"
export WINEPREFIX="$TREVNA_WINEPREFIX" WINEDEBUG=-all
wineserver -k 2>/dev/null || true
# Wine's own fonts; no window manager runs under Xvfb, so Wine draws the frames and captions.
"$root/scripts/wine-prefix.sh" --no-window-manager
run_ctest windows "$root/build/windows" xvfb-run -a -s "-screen 0 1280x1024x24"
wineserver -k 2>/dev/null || true
# Window tests save their screenshots as bitmaps; they are kept as PNG.
"$root/scripts/png-artifacts.sh" "$root/build/windows/artifacts"

# Fuzz targets: a few seconds each on a copy of the seed corpus.
fuzz_dir="$root/build/fuzz"
fuzz_junit="$fuzz_dir/fuzz-junit.xml"
start=$(date +%s)
{
  echo '<testsuite name="fuzz">'
  for target in "$fuzz_dir"/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    corpus="$root/fuzz/corpus/${name%_fuzz}"
    work="$(mktemp -d)"
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    echo "== fuzz $name (${fuzz_seconds}s)" >&2
    if "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$work" >"$fuzz_dir/$name.log" 2>&1; then
      echo "  <testcase name=\"$name\" status=\"run\"/>"
    else
      echo "  <testcase name=\"$name\" status=\"fail\"><failure/></testcase>"
      tail -30 "$fuzz_dir/$name.log" >&2
    fi
    rm -rf "$work"
  done
  echo '</testsuite>'
} >"$fuzz_junit"
runs+=("fuzz:$fuzz_junit:$fuzz_dir/none:$start")

# Release files: made twice, installed under Wine, the manual and the Linux package checked.
echo "== dist tests"
start=$(date +%s)
xvfb-run -a "$root/scripts/test-dist.sh" "$root/build/windows" "$root/build/release" "$root/build/windows/artifacts" \
  "$root/build/dist-junit.xml"
runs+=("dist:$root/build/dist-junit.xml:$root/build/none:$start")

echo "== summary"
python3 "$root/scripts/summarize.py" "${runs[@]}"
