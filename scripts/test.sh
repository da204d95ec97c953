#!/usr/bin/env bash
# Installs what is missing, configures, builds into build/, runs every test and then the
# demo (scripts/demo.sh --yes).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600

# The whole road once more as a person meets it: the demo, answered non-interactively.
bash scripts/demo.sh --yes
