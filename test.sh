#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: a normal build
# (build/), a build with AddressSanitizer and UndefinedBehaviorSanitizer that
# stops at the first error (build-asan/), the parallel loads under
# ThreadSanitizer (build-tsan/), the fuzz targets (build-fuzz/), and the
# Windows x86-64 build (build-windows/) under Wine, whose host program must
# match the normal build's currents. Warnings fail every build.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
jobs="$(nproc)"

scripts/configure-linux.sh
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DHBX_WERROR=ON -DHBX_SANITIZE=ON -DHBX_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
# Tests stand in exhausted heaps with impossible requests, which the sanitizer
# allocator must answer with null as the standard one does.
ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1:abort_on_error=0:halt_on_error=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

# Loads of distinct instances from 8 threads under ThreadSanitizer.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHBX_WERROR=ON -DHBX_TSAN=ON -DHBX_BUILD_BENCH=OFF
cmake --build build-tsan -j"$jobs" --target parallel_load_tests
TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan --output-on-failure -R ParallelLoads

# The fuzz targets of the readers of outside data (a module's restore, the
# delay state, the other saved-state payloads, an instance's restore with
# timer and cross-event states, the noise data files), built
# with clang and libFuzzer and run from the seed corpus in fuzz/corpus for
# 15 s each.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHBX_WERROR=ON -DHBX_FUZZ=ON -DHBX_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$jobs" --target restore_fuzz delay_state_fuzz saved_state_fuzz noise_file_fuzz event_states_fuzz
for target in restore delay_state saved_state noise_file event_states; do
  mkdir -p "build-fuzz/corpus/$target"
  log="build-fuzz/${target}.log"
  if ! ASAN_OPTIONS="allocator_may_return_null=1" \
      "build-fuzz/fuzz/${target}_fuzz" -max_total_time=15 -max_len=4096 \
      -artifact_prefix="build-fuzz/${target}-" "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    exit 1
  fi
  echo "${target}_fuzz: $(grep -E '^Done' "$log")"
done

scripts/configure-windows.sh
cmake --build build-windows -j"$jobs"
# A temporary Wine prefix, made before the tests start in parallel, and
# removed with its server at the end.
WINEPREFIX="$(mktemp -d)"
export WINEPREFIX
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
trap 'WINEPREFIX="$WINEPREFIX" "$wineserver" -k || true; rm -rf "$WINEPREFIX"' EXIT
# wineboot asks for a 32-bit rundll32 that a 64-bit Wine lacks: harmless.
scripts/wine-run.sh wineboot --init >/dev/null 2>&1
"$wineserver" -w
ctest --test-dir build-windows --output-on-failure -j"$jobs"
