#!/usr/bin/env bash
# Installs what is missing, builds incrementally and starts Kestrelcut.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/configure-build.sh"
exec "${KC_BUILD_DIR:-$here/build}/bin/kestrelcut" "$@"
