#!/usr/bin/env bash
# Builds the fuzz targets with clang into ./build-fuzz (or $VARNEX_FUZZ_DIR) and runs each for a while:
#   fuzz/run.sh [seconds per target] [target ...]      (default 30 s, every target)
# Each target starts from its seeds in fuzz/corpus/<name>/ and keeps what it finds in <dir>/corpus/<name>/;
# an input that fails is saved as <dir>/crashes/<target>-crash-... and ends the run with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${VARNEX_FUZZ_DIR:-build-fuzz}
seconds=${1:-30}
shift || true
if [ ! -f "$dir/CMakeCache.txt" ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
        -DVARNEX_FUZZ=ON -DVARNEX_TESTS=OFF "${launcher[@]}"
fi
cmake --build "$dir" --target fuzzers
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//'))
mkdir -p "$dir/crashes"
failed=0
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    mkdir -p "$dir/corpus/$name"
    log="$dir/crashes/$target.log"
    if "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/crashes/$target-" "$dir/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
        echo "$target: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no failure"
    else
        echo "$target: FAILED, see $log"
        failed=1
    fi
done
exit $failed
