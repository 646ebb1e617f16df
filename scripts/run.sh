#!/usr/bin/env bash
# Installs what is missing, builds, and starts routereel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh"
exec "${ROUTEREEL_BUILD_DIR:-$root/build}/src/app/routereel" "$@"
