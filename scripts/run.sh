#!/usr/bin/env bash
# Installs what is missing, builds and starts Vorlaine. Without arguments it runs on a simulated
# offline master board; pass --real to talk to the boards on USB, or any --simulate=... option.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j "$(nproc)"

args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  args=(--simulate=master,estop)
elif [ "${args[0]}" = "--real" ]; then
  args=("${args[@]:1}")
fi
if [ -x build/app/vorlaine ]; then
  exec build/app/vorlaine "${args[@]}"
fi
echo "The main window is not part of this build yet; the transport and board tests run with scripts/test.sh."
