#!/usr/bin/env bash
# Builds the suite and runs it on the default machine (or $VREL_MACHINE).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh build
build/bin/winhost init
