#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the fuzz targets for a bounded
# time, the concurrency tests under ThreadSanitizer, the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the whole suite again in the plain Release build users make.
# Compiler warnings are errors in every build here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/install-deps.sh

# ThreadSanitizer cannot map its shadow memory with the kernel's widest address randomisation:
# as root, it is lowered for the run and put back however the run ends.
rnd_bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)
if [ "$rnd_bits" -gt 28 ] && [ "$(id -u)" -eq 0 ] && sysctl -q -w vm.mmap_rnd_bits=28; then
  trap 'sysctl -q -w vm.mmap_rnd_bits="$rnd_bits" || true' EXIT
fi

configure() {  # dir, then extra cmake arguments
  local dir=$1; shift
  cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREL_WARNINGS_AS_ERRORS=ON "$@" > /dev/null
}

echo "== fuzzing the core library (clang, libFuzzer)"
configure build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DOSTREL_BUILD_FUZZ=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs"
if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh build-fuzz "${OSTREL_FUZZ_SECONDS:-60}"
fi

echo "== concurrency tests under ThreadSanitizer"
configure build-tsan -DOSTREL_SANITIZE=thread -DOSTREL_BUILD_BENCH=OFF
# Only the concurrency test programs (and what they need) are built here.
mapfile -t tsan_targets < <(ninja -C build-tsan -t targets all | sed -n 's/^\([A-Za-z0-9_]*ConcurrencyTest\): .*/\1/p' | grep -v "^cmake_" | sort -u)
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -L concurrency --output-on-failure -j "$jobs" --no-tests=ignore

echo "== every test under AddressSanitizer and UndefinedBehaviorSanitizer"
configure build-test -DOSTREL_SANITIZE=address,undefined -DOSTREL_BUILD_BENCH=OFF
cmake --build build-test -j "$jobs"
ASAN_OPTIONS="detect_leaks=1 strict_string_checks=1" UBSAN_OPTIONS="print_stacktrace=1" \
  ctest --test-dir build-test --output-on-failure -j "$jobs"

echo "== every test in the Release build"
configure build-release-test -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=ON
cmake --build build-release-test -j "$jobs"
ctest --test-dir build-release-test --output-on-failure -j "$jobs"
