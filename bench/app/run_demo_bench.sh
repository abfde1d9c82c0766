#!/usr/bin/env bash
# The application as users run it: each board kind's demo in a 1920 x 1080 virtual X server, one
# after the other (a second instance would wait for the first). For each run: CPU of the whole
# process in % of one core over the measuring window, the UI thread's part of it, and resident
# memory 10 s into the window and at its end.
#
#   bench/app/run_demo_bench.sh [--binary=PATH] [--duration=S] [--warmup=S] [--screenshots=DIR] [KIND...]
#
#   --binary       the application (default build-release/app/vorlaine)
#   --duration     length of the measuring window in seconds (default 60; 15 for a quick look)
#   --warmup       seconds between the start and the window, for the window to come up (default 5)
#   --screenshots  save the screen at the end of each run as DIR/KIND.png
#   KIND           --simulate= arguments (default: runoff master:4x4 master kelspire classic)
#
# Targets: every kind under 5 % of one core, under 200 MB and growing less than 5 %
# from 10 s to the end. The exit status is 1 when a target is missed.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
binary="$root/build-release/app/vorlaine"
duration=60
warmup=5
shots=""
kinds=()
for arg in "$@"; do
  case "$arg" in
    --binary=*) binary="${arg#*=}" ;;
    --duration=*) duration="${arg#*=}" ;;
    --warmup=*) warmup="${arg#*=}" ;;
    --screenshots=*) shots="${arg#*=}" ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option $arg" >&2; exit 2 ;;
    *) kinds+=("$arg") ;;
  esac
done
[ ${#kinds[@]} -gt 0 ] || kinds=(runoff master:4x4 master kelspire classic)
[ -x "$binary" ] || { echo "no application at $binary (build it with CMAKE_BUILD_TYPE=Release)" >&2; exit 2; }
command -v xvfb-run > /dev/null || { echo "xvfb-run is missing (apt-get install xvfb)" >&2; exit 2; }
[ -z "$shots" ] || mkdir -p "$shots"

ticks=$(getconf CLK_TCK)
early=$(( duration > 10 ? 10 : duration / 2 ))
work="$(mktemp -d)"
# A lock directory of our own: an instance started elsewhere on this machine does not hold us up.
export XDG_RUNTIME_DIR="$work"
chmod 700 "$work"

launcher=""
cleanup() {
  if [ -n "$launcher" ] && kill -0 "$launcher" 2> /dev/null; then
    if [ -s "$work/pid" ]; then kill "$(cut -d' ' -f1 "$work/pid")" 2> /dev/null || true; fi
    wait "$launcher" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# utime + stime in clock ticks, from a stat line whose name field may hold blanks.
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$1" 2> /dev/null || echo 0; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2> /dev/null || echo 0; }
now() { date +%s.%N; }

missed=0
rows=()
for kind in "${kinds[@]}"; do
  rm -f "$work/pid"
  # The inner shell reports its pid (the application's, after exec) and the display it was given.
  xvfb-run -a -s "-screen 0 1920x1080x24" \
    sh -c 'echo "$$ $DISPLAY $XAUTHORITY" > "$0.tmp" && mv "$0.tmp" "$0" && exec "$@"' \
    "$work/pid" "$binary" "--simulate=$kind" > "$work/out.log" 2>&1 &
  launcher=$!
  for _ in $(seq 100); do [ -s "$work/pid" ] && break; sleep 0.1; done
  [ -s "$work/pid" ] || { echo "$kind: the application did not start" >&2; cat "$work/out.log" >&2; exit 1; }
  read -r pid display xauth < "$work/pid"

  sleep "$warmup"
  t0=$(now); c0=$(cpu_ticks "/proc/$pid/stat"); u0=$(cpu_ticks "/proc/$pid/task/$pid/stat")
  sleep "$early"
  rss_early=$(rss_kb "$pid")
  sleep $(( duration - early ))
  t1=$(now); c1=$(cpu_ticks "/proc/$pid/stat"); u1=$(cpu_ticks "/proc/$pid/task/$pid/stat")
  rss_end=$(rss_kb "$pid")
  alive=yes
  kill -0 "$pid" 2> /dev/null || alive=no

  if [ -n "$shots" ] && [ "$alive" = yes ]; then
    DISPLAY="$display" XAUTHORITY="$xauth" import -window root "$shots/${kind//[:\/]/_}.png" || true
  fi
  kill "$pid" 2> /dev/null || true
  wait "$launcher" 2> /dev/null || true
  launcher=""

  row=$(awk -v k="$kind" -v t0="$t0" -v t1="$t1" -v c0="$c0" -v c1="$c1" -v u0="$u0" -v u1="$u1" \
            -v hz="$ticks" -v r0="$rss_early" -v r1="$rss_end" -v alive="$alive" '
    BEGIN {
      cpu = 100 * (c1 - c0) / hz / (t1 - t0); ui = 100 * (u1 - u0) / hz / (t1 - t0)
      growth = r0 > 0 ? 100 * (r1 - r0) / r0 : 0
      verdict = "ok"
      if (alive != "yes") verdict = "DIED"
      else if (r1 > 200 * 1024 || growth >= 5 || cpu >= 5) verdict = "MISSED"
      printf "%-12s %9.1f %9.1f %10.1f %10.1f %+8.1f %%  %s\n", k, cpu, ui, r0 / 1024, r1 / 1024, growth, verdict
    }')
  rows+=("$row")
  case "$row" in *MISSED*|*DIED*) missed=1 ;; esac
  echo "$row" >&2
done

echo
echo "window ${duration} s after ${warmup} s; CPU in % of one core; RSS in MB at ${early} s and at ${duration} s"
printf "%-12s %9s %9s %10s %10s %10s  %s\n" kind "CPU" "UI thread" "RSS early" "RSS end" growth target
for row in "${rows[@]}"; do echo "$row"; done
exit "$missed"
