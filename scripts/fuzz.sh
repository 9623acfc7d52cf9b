#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ (or $FUZZ_BUILD_DIR) and runs
# each for FUZZ_SECONDS (default 30) from its seed corpus in fuzz/corpus/.
# New inputs go to a scratch folder, so the corpus in the sources stays as it
# is; a finding is saved as build-fuzz/findings/<target>/crash-… and fails
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
targets=(fuzz_settings_text fuzz_description fuzz_audioini fuzz_toc)

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DRIPPER_WERROR=ON -DRIPPER_FUZZ=ON \
  -DRIPPER_BUILD_TESTS=OFF -DRIPPER_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=()
for target in "${targets[@]}"; do
  scratch=$build/corpus/$target
  findings=$build/findings/$target
  rm -rf "$scratch"
  mkdir -p "$scratch" "$findings"
  echo "== $target: ${seconds} s"
  if ! "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$findings/" "$scratch" "$root/fuzz/corpus/$target" \
       >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log"
    failed+=("$target")
  else
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$build/$target.log" || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $build/findings/)"
  exit 1
fi
