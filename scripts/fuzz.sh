#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a few seconds
# (first argument, default 10) from its seed corpus in fuzz/corpus/<name>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
build="$root/build-fuzz"
CC=clang-14 CXX=clang++-14 ROUTEREEL_BUILD_DIR="$build" "$root/scripts/build.sh" \
  -DROUTEREEL_CORE_ONLY=ON -DROUTEREEL_FUZZ=ON -DROUTEREEL_TESTS=OFF \
  -DCMAKE_CXX_COMPILER=clang++-14
shopt -s nullglob
ran=0
for exe in "$build"/fuzz/fuzz_*; do
  [[ -f $exe && -x $exe ]] || continue  # skip the *_autogen folders
  name=${exe##*/fuzz_}
  work=$(mktemp -d)
  seeds=()
  [[ -d $root/fuzz/corpus/$name ]] && seeds=("$root/fuzz/corpus/$name")
  echo "fuzz $name: ${seconds}s"
  (cd "$work" && QT_QPA_PLATFORM=offscreen "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -print_final_stats=0 "$work" "${seeds[@]}" 2>"$work/log") || { tail -50 "$work/log"; exit 1; }
  rm -rf "$work"
  ran=$((ran + 1))
done
echo "fuzzers run: $ran"
