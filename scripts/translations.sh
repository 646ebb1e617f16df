#!/usr/bin/env bash
# Refreshes the Simplified Chinese catalogues from the sources: one catalogue per
# area, so work on one area never touches another's file. Translate the new
# entries in the .ts files afterwards (Qt Linguist or by hand).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=/usr/lib/qt6/bin/lupdate
cd "$root"
"$lupdate" -silent -no-obsolete -locations none src/tracks src/media src/timeline src/widgets src/maps src/export src/project \
  -ts resources/translations/core_zh_CN.ts
for area in main timeline panels; do
  [[ -d src/ui/$area ]] && "$lupdate" -silent -no-obsolete -locations none "src/ui/$area" \
    -ts "resources/translations/ui_${area}_zh_CN.ts"
done
"$lupdate" -silent -no-obsolete -locations none src/app -ts resources/translations/app_zh_CN.ts
