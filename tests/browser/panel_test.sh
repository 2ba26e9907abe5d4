#!/usr/bin/env bash
# The operator panel in headless Chromium against the demo station; installs
# the browser, its driver and Selenium when missing. Writes the screenshot to
# docs/panel.png, or to $NYX_PANEL_SCREENSHOT.
# Usage: tests/browser/panel_test.sh [BUILD_DIR]
set -euo pipefail
source "$(dirname "$0")/../../scripts/setup.sh"
nyx_install chromium chromium-driver python3-selenium
build="${1:-$NYX_ROOT/build}"
[ -x "$build/apps/nyxhost" ] || nyx_build "$build"
# Debian's Python, which has Debian's Selenium (a python3 of one's own may not).
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" "$NYX_ROOT/tests/browser/panel_test.py" --nyxhost "$build/apps/nyxhost" --screenshot "${NYX_PANEL_SCREENSHOT:-$NYX_ROOT/docs/panel.png}"
