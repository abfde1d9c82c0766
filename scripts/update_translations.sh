#!/usr/bin/env bash
# Brings the English translation file up to date with the texts in the sources (new texts come in
# unfinished, gone ones leave). Translate the new entries with Qt Linguist or by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
/usr/lib/qt6/bin/lupdate -silent -locations none -no-obsolete -source-language zh_CN -target-language en \
  app config info capture engine records grid -ts resources/translations/vorlaine_en.ts
