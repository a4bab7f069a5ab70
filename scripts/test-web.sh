#!/usr/bin/env bash
# The emulated Pocket PC's web page (scripts/run.sh --web) as a person uses it: Playwright
# (playwright-core, pinned by tests/web/package-lock.json) drives Debian's chromium through the
# stories of tests/web/web.test.mjs, on the device image (pocketpc_console --image) and on the
# host build (velmot_host_console). Installs what is missing: chromium (apt-get), Node.js when
# there is none, and the tests' own packages (npm ci in tests/web).
#   --bench   instead of the tests, the benchmark report: a click's time to its frame on the
#             page, and the server's load with one page open and nothing happening.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh

need_packages "${BROWSER_TEST_PACKAGES[@]}"
if ! command -v node >/dev/null; then
    need_packages nodejs npm
fi
node_major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$node_major" -lt 20 ]; then
    echo "test-web.sh: Playwright needs Node.js 20 or later; this machine has $(node --version)" >&2
    exit 1
fi
echo "== Installing the browser tests' packages (npm ci in tests/web)"
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

cmake --preset device >/dev/null
cmake --build --preset device --target velmot >/dev/null
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)" --target pocketpc_console velmot_host_console >/dev/null

for image in "$root/build/device/velmot.exe" ""; do
    if [ -n "$image" ]; then
        program=$root/build/host/pocketpc_console
        echo "== The web page on the device image ($image)"
    else
        program=$root/build/host/velmot_host_console
        echo "== The web page on the host build"
    fi
    if [ "${1:-}" = "--bench" ]; then
        VELMOT_WEB_PROGRAM=$program VELMOT_WEB_IMAGE=$image node tests/web/bench.mjs
    else
        VELMOT_WEB_PROGRAM=$program VELMOT_WEB_IMAGE=$image \
            node --test tests/web/web.test.mjs
    fi
done
