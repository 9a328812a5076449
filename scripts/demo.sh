#!/usr/bin/env bash
# The library's main job: encrypt a buffer with DES-CBC in two chained
# requests, decrypt it, and print every stage.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF >/dev/null
build/dessec-cbc-demo
