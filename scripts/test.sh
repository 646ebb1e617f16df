#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the whole suite (views under Xvfb),
#   2. the core libraries' tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
#      but for those that judge sound against the clock at full speed (label realtime),
#   3. a short run of every fuzzer from its seed corpus.
# ROUTEREEL_QUICK=1 runs only step 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/bootstrap.sh"

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/routereel-runtime-XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
export QTWEBENGINE_DISABLE_SANDBOX=1

xvfb=(xvfb-run -a -s "-screen 0 1920x1080x24")

echo "== build"
ROUTEREEL_BUILD_DIR="$root/build" "$root/scripts/build.sh"
echo "== tests"
(cd "$root/build" && "${xvfb[@]}" ctest --output-on-failure -j "$jobs")

if [[ ${ROUTEREEL_QUICK:-0} == 1 ]]; then
  exit 0
fi

echo "== sanitizer build (core)"
ROUTEREEL_BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" \
  -DROUTEREEL_CORE_ONLY=ON -DROUTEREEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
echo "== sanitizer tests (core)"
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -L core -LE realtime)

echo "== fuzzers"
"$root/scripts/fuzz.sh" "${ROUTEREEL_FUZZ_SECONDS:-10}"
