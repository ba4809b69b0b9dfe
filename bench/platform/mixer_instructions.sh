#!/bin/sh
# Instructions per second of mixed audio for each case of bench_platform_mixer, counted by
# callgrind inside Mixer::mixBlock (all of a block: every buffer, the rate conversion,
# the reverb stage when there is one, rounding, notifications). Independent of machine
# load, unlike the benchmark's CPU times. Set A5_MIX_PORTABLE=1 for the baseline build.
#
#   bench/platform/mixer_instructions.sh build [REGEX]
set -eu
bench=$1/bin/bench_platform_mixer
filter=${2:-.}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=48000  # bench_platform_mixer's output rate
block=256   # Mixer::kBlockFrames
for name in $("$bench" --benchmark_list_tests --benchmark_filter="$filter"); do
  valgrind --tool=callgrind --toggle-collect='plat::Mixer::mixBlock()' --callgrind-out-file="$work/out" \
    "$bench" --benchmark_filter="^$name\$" --benchmark_min_time=0 >/dev/null 2>"$work/log" ||
    { cat "$work/log" >&2; exit 1; }
  awk -v name="$name" -v rate=$rate -v block=$block '
    /^c?fn=\([0-9]+\) plat::Mixer::mixBlock\(\)/ { match($0, /\([0-9]+\)/); id = substr($0, RSTART, RLENGTH) }
    /^cfn=/ { callee = $0 }
    /^calls=/ { if (id != "" && index(callee, "cfn=" id) == 1) { split($0, f, /[= ]/); calls += f[2] } }
    /^totals:/ { total = $2 }
    END {
      seconds = calls * block / rate
      printf "%-40s %8.2f M instructions per second of audio (%d blocks)\n", name, total / seconds / 1e6, calls
    }' "$work/out"
done
