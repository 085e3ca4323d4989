#!/usr/bin/env bash
# The cost of the game's screen work on the Windows console as the buffer
# grows, under Wine: the classic console's default buffer of 120 x 9001
# beside a buffer of 80 x 25. Prints a table of figures; nothing passes or
# fails here.
#
# For each size, in a Wine console drawn into a tmux pane:
#  - the console calls of one ClearScreen and of one scroll, and the mean
#    time of each (the game's own console over the Windows device);
#  - the time from typing "auto" to the round 2 line in a whole game (the
#    median of five runs), and the console calls the game made in that run.
# Calls are counted from Wine's relay trace, limited to the console
# functions below; the timed runs go without the trace. No sound driver is
# loaded, so the clips cost nothing and the game's time is its own.
#
#   bench/windows/run_console_buffer_bench.sh [--check] [BUILD_FOLDER [GAME.EXE]]
#
# BUILD_FOLDER is the cross build (build-windows/ by default); GAME.EXE
# defaults to the one built there, and may be another build's, to compare.
# With --check (a test of the cross build) only the calls of one clear and
# one scroll in the 120 x 9001 buffer are counted, and more than three of
# either fails: counts do not depend on how busy the machine is.
set -euo pipefail
check=0
if [[ ${1:-} == --check ]]; then
  check=1
  shift
fi
unset DISPLAY WAYLAND_DISPLAY
here=$(cd "$(dirname "$0")" && pwd)
build=$(readlink -f "${1:-$here/../../build-windows}")
game=$(readlink -f "${2:-$build/keelmark.exe}")
probe=$build/bench/windows/keelmark_console_buffer_probe.exe
for file in "$game" "$probe"; do
  [[ -f $file ]] || { echo "no program at '$file' (run scripts/windows_build.sh)" >&2; exit 2; }
done
for tool in wine tmux; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d)
# A tmux server of its own, which no other test's clean-up can take away.
tmuxSocket=keelmark-console-bench-$$
session=bench
Tmux() { tmux -L "$tmuxSocket" -f /dev/null "$@"; }
export HOME=$work/home WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winepulse.drv,winealsa.drv,wineoss.drv=d"
trap 'set +e; Tmux kill-server 2>/dev/null; wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$HOME"
# The build's tests copy the prefix made once for the build folder.
bash "$here/../../tests/windows/make_wine_prefix.sh" \
  "${KEELMARK_WINE_PREFIX_TEMPLATE:-$work/prefix-template}" "$WINEPREFIX" >&2

consoleCalls=(
  GetConsoleScreenBufferInfo WriteConsoleOutputA FillConsoleOutputCharacterA
  FillConsoleOutputAttribute ScrollConsoleScreenBufferA SetConsoleCursorPosition
  SetConsoleTextAttribute SetConsoleCursorInfo GetConsoleCursorInfo SetConsoleMode
  GetConsoleMode ReadConsoleInputA PeekConsoleInputA GetNumberOfConsoleInputEvents
)
relayInclude=$(IFS=';'; echo "${consoleCalls[*]};OutputDebugStringA")
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$relayInclude" /f \
  >/dev/null 2>&1
wineserver -w
cp "$game" "$work/keelmark.exe"
cp "$probe" "$work/probe.exe"

# Runs the probe in a fresh console: RunProbe traced|plain "COLUMNS ROWS"
# MODE [GAME]. Its figures land in $work/result; when traced, Wine's relay
# trace goes to $work/relay.
RunProbe() {
  local debug=-all
  if [[ $1 == traced ]]; then debug=+pid,+relay; fi
  local size=$2 mode=$3
  shift 3
  rm -f "$work/status" "$work/result" "$work/relay"
  cat >"$work/run.sh" <<EOF
cd "$work" || exit 1
WINEDEBUG=$debug wine probe.exe $size $mode result $* 2>relay
echo \$? >status.now
wineserver -w
mv status.now status
EOF
  Tmux new-session -d -s "$session" -x 80 -y 25 "bash $work/run.sh"
  local waited=0
  until [[ -e $work/status ]]; do
    sleep 0.2
    waited=$((waited + 1))
    if ((waited > 3000)); then
      echo "the probe did not end: $size $mode" >&2
      break
    fi
  done
  Tmux kill-session -t "$session" 2>/dev/null || true
  if grep -q '^error' "$work/result" 2>/dev/null; then grep '^error' "$work/result" >&2; fi
}

Figure() { sed -n "s/^$1 //p" "$work/result" | tr -d '\r'; }

# The console calls in the trace between two marks of the probe, one name a
# line (the trace also notes threads starting, which are no calls).
CallNames() {
  sed -n "/OutputDebugStringA.*\"keelmark-probe: $1\"/,/OutputDebugStringA.*\"keelmark-probe: $1 done\"/p" \
    "$work/relay" | sed -n 's/.*:Call [A-Za-z0-9]*\.\([A-Za-z]*\)(.*/\1/p' | { grep -v OutputDebugStringA || true; }
}
CallsBetween() { CallNames "$1" | wc -l; }
CallNamesBetween() {
  CallNames "$1" | sort | uniq -c | awk '{ printf "%s%s x%s", sep, $2, $1; sep = ", " }'
}

Median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A figure
if ((check)); then
  RunProbe traced "120 9001" device once
  failed=0
  for operation in clear scroll; do
    calls=$(CallsBetween "$operation")
    echo "120 x 9001: one $operation took $calls console calls ($(CallNamesBetween "$operation"))"
    ((calls >= 1 && calls <= 3)) || { echo "FAIL: one $operation should take one to three console calls" >&2; failed=1; }
  done
  exit "$failed"
fi
sizes=("80 25" "120 9001")
for size in "${sizes[@]}"; do
  key=${size/ /x}
  RunProbe traced "$size" device once
  figure[$key.clearCalls]=$(CallsBetween clear)
  figure[$key.clearNames]=$(CallNamesBetween clear)
  figure[$key.scrollCalls]=$(CallsBetween scroll)
  figure[$key.scrollNames]=$(CallNamesBetween scroll)
  RunProbe plain "$size" device
  figure[$key.clearMs]=$(Figure clear_ms)
  figure[$key.scrollMs]=$(Figure scroll_ms)

  RunProbe traced "$size" game keelmark.exe
  pid=$(Figure game_pid)
  figure[$key.gameCalls]=$(grep -c "^$pid:[0-9a-f]*:Call " "$work/relay" || true)
  figure[$key.gameStatus]=$(Figure game_status)
  runs=()
  for run in 1 2 3 4 5; do
    RunProbe plain "$size" game keelmark.exe
    runs+=("$(Figure auto_to_round_2_ms)")
  done
  figure[$key.gameMs]=$(printf '%s\n' "${runs[@]}" | Median)
  figure[$key.gameRuns]=${runs[*]}
done

echo "Console work by buffer size, under $(wine --version 2>/dev/null), game $(basename "$game")"
printf '%-34s %14s %14s   %s\n' "figure" "80 x 25" "120 x 9001" "target"
Row() { printf '%-34s %14s %14s   %s\n' "$1" "${figure[80x25.$2]:-?}" "${figure[120x9001.$2]:-?}" "$3"; }
Row "console calls of one ClearScreen" clearCalls "at most 3"
Row "console calls of one scroll" scrollCalls "at most 3"
Row "ms per ClearScreen (mean)" clearMs ""
Row "ms per scroll (mean)" scrollMs ""
Row "console calls, whole run to quit" gameCalls ""
Row "ms from auto to round 2 (median)" gameMs "120 x 9001 within 1.2 x"
small=${figure[80x25.gameMs]:-}
tall=${figure[120x9001.gameMs]:-}
if [[ -n $small && -n $tall ]]; then
  echo "120 x 9001 / 80 x 25, auto to round 2: $(awk -v a="$tall" -v b="$small" 'BEGIN { printf "%.2f", a / b }') x"
fi
for key in 80x25 120x9001; do
  echo "$key: clear ${figure[$key.clearNames]:-?}; scroll ${figure[$key.scrollNames]:-?};" \
    "runs ${figure[$key.gameRuns]:-?} ms; game status ${figure[$key.gameStatus]:-?}"
done
echo "Measured $(date -u +%Y-%m-%dT%H:%MZ) on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
