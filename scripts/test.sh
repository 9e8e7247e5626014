#!/usr/bin/env bash
# Installs what is missing, runs the tests that drive several threads under
# ThreadSanitizer, then builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

threaded_tests=(tst_worker tst_simreaders tst_datutils)
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAGOR_TSAN=ON -DTAGOR_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target "${threaded_tests[@]}"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -R "^($(IFS='|'; echo "${threaded_tests[*]}"))\$"

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAGOR_SANITIZE=ON -DTAGOR_BUILD_BENCH=ON
cmake --build build-test -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    ctest --test-dir build-test --output-on-failure -j "$jobs"
