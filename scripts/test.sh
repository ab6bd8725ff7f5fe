#!/usr/bin/env bash
# Fresh machine to green tests: installs what is missing, builds, runs the whole test suite.
# Usage: scripts/test.sh [default|asan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/install-deps.sh all
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
