#!/usr/bin/env bash
# zek-host's HTTP benchmarks, each against its peer in the same run (bench/README.md):
#   GET of a local category on 8 connections  vs  bare_http_server's fixed 60-byte JSON body
#   PATCH of that category (saved with fsync)  vs  atomic_save_bench's loop of the same saves
# Environment: BUILD (default build-rel), DURATION (10s), ROUNDS (3).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
duration=${DURATION:-10s}
rounds=${ROUNDS:-3}
for tool in wrk curl; do
  command -v "$tool" >/dev/null || { echo "http_bench: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done
for binary in host/zek_host/zek-host bench/bare_http_server bench/atomic_save_bench; do
  [ -x "$build/$binary" ] || { echo "http_bench: build $build/$binary first" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/host/zek_host/zek-host" --install-dir "$work/data" >"$work/host.out" 2>"$work/host.err" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/data/lockfile" ] && break; sleep 0.1; done
IFS=: read -r _ _ host_port token _ <"$work/data/lockfile"
auth="Authorization: Basic $(printf 'zek:%s' "$token" | base64)"
category="http://127.0.0.1:$host_port/zek-settings/v2/local/bench"
curl -sf -X PATCH -H "$auth" -H 'Content-Type: application/json' \
  -d '{"schemaVersion":1,"data":{"quality":"high","volume":7}}' "$category" >/dev/null

"$build/bench/bare_http_server" >"$work/bare.port" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/bare.port" ] && break; sleep 0.1; done
bare="http://127.0.0.1:$(cat "$work/bare.port")/"

# Prints "requests/s p50 p99" of a wrk run (latencies in microseconds).
measure() {
  wrk -t2 -c8 -d"$duration" --latency "$@" | awk '
    function us(v) { if (v ~ /us$/) return v + 0; if (v ~ /ms$/) return v * 1000; if (v ~ /s$/) return v * 1000000; return v }
    /^ +50%/ { p50 = us($2) } /^ +99%/ { p99 = us($2) } /^Requests\/sec:/ { rps = $2 }
    /Non-2xx/ { bad = $NF }
    END { if (bad != "") { print "http_bench: non-2xx answers: " bad > "/dev/stderr"; exit 1 }
          printf "%.0f %.0f %.0f\n", rps, p50, p99 }'
}

# Prints the saves/s of the atomic save loop, run for as long as one wrk run.
save_loop() {
  ZEK_SAVE_BYTES_FROM="$work/data/Config/QEVLocalPreferences.yaml" \
    "$build/bench/atomic_save_bench" --benchmark_min_time="${duration%s}" \
    --benchmark_format=json 2>/dev/null |
    awk -F: '/"items_per_second"/ { gsub(/[ ,]/, "", $2); print int($2) }'
}

printf '%-6s %-28s %12s %10s %10s\n' round what requests/s p50_us p99_us
get_ratios=()
patch_ratios=()
for round in $(seq "$rounds"); do
  read -r host_rps host_p50 host_p99 < <(measure -H "$auth" "$category")
  read -r bare_rps bare_p50 bare_p99 < <(measure "$bare")
  # The disk's speed drifts over minutes, so the save loop runs as long as wrk does, and every
  # other round goes first.
  if ((round % 2)); then
    read -r patch_rps patch_p50 patch_p99 < <(measure -s bench/patch_category.lua -H "$auth" "$category")
    save_rps=$(save_loop)
  else
    save_rps=$(save_loop)
    read -r patch_rps patch_p50 patch_p99 < <(measure -s bench/patch_category.lua -H "$auth" "$category")
  fi
  printf '%-6s %-28s %12s %10s %10s\n' "$round" "zek-host GET category" "$host_rps" "$host_p50" "$host_p99"
  printf '%-6s %-28s %12s %10s %10s\n' "$round" "bare cpp-httplib GET" "$bare_rps" "$bare_p50" "$bare_p99"
  printf '%-6s %-28s %12s %10s %10s\n' "$round" "zek-host PATCH category" "$patch_rps" "$patch_p50" "$patch_p99"
  printf '%-6s %-28s %12s %10s %10s\n' "$round" "atomic save loop" "$save_rps" - -
  awk -v h="$host_rps" -v b="$bare_rps" -v p="$patch_rps" -v s="$save_rps" -v r="$round" \
    'BEGIN { printf "%-6s GET ratio %.2f (goal 0.6), PATCH ratio %.2f (goal 0.8)\n", r, h / b, p / s }'
  get_ratios+=("$(awk -v h="$host_rps" -v b="$bare_rps" 'BEGIN { print h / b }')")
  patch_ratios+=("$(awk -v p="$patch_rps" -v s="$save_rps" 'BEGIN { print p / s }')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "median of $rounds rounds: GET ratio $(median "${get_ratios[@]}") (goal 0.6), PATCH ratio $(median "${patch_ratios[@]}") (goal 0.8)"
