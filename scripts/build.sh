# shellcheck shell=bash
# Sourced by the test scripts: builds a CMake preset and reports a program's size.

# Usage: build_preset PRESET
# Configures the preset (its output in build/PRESET-configure.log, shown only when it fails)
# and builds it.
build_preset() {
    mkdir -p build
    cmake --preset "$1" >"build/$1-configure.log" 2>&1 || {
        cat "build/$1-configure.log" >&2
        return 1
    }
    cmake --build --preset "$1"
}

# Usage: report_size FILE BUDGET_KIB NAME
# A size report (not a test): FILE's size in bytes against its budget.
report_size() {
    local size
    size=$(stat -c %s "$1")
    if [ "$size" -lt $(($2 * 1024)) ]; then
        echo "   $3: $size bytes, stripped (budget: under $2 KiB)"
    else
        echo "   WARNING: $3 is $size bytes, stripped: over its budget of $2 KiB" >&2
    fi
}
