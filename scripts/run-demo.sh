#!/usr/bin/env bash
# Installs what is needed, builds, lays out a program folder under
# build/program and runs the gateway there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
program=$build/program
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
cmake --install "$build" --prefix "$program" >/dev/null
echo "Program folder: $program"
cd "$program"
./TalvinorSMSSvc --debug
echo "Service started and stopped in debug mode; its log: $program/TalvinorSMSSvc.log"
