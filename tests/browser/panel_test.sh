#!/usr/bin/env bash
# The operator panel in headless Chromium against the demo station; installs
# the browser, its driver and Selenium when missing. Writes docs/panel.png.
# Usage: tests/browser/panel_test.sh [BUILD_DIR]
set -euo pipefail
source "$(dirname "$0")/../../scripts/setup.sh"
nyx_install chromium chromium-driver python3-selenium
build="${1:-$NYX_ROOT/build}"
[ -x "$build/apps/nyxhost" ] || nyx_build "$build"
python3 "$NYX_ROOT/tests/browser/panel_test.py" --nyxhost "$build/apps/nyxhost" --screenshot "$NYX_ROOT/docs/panel.png"
