#!/usr/bin/env bash
# Installs what is missing, builds, and renders the default scene into out/.
# Extra arguments go to `corvane run` (for example: scenes/fountain.json --frames 100).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec build/bin/corvane run --out out "$@"
