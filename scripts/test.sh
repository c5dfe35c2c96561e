#!/usr/bin/env bash
# Installs what is missing, builds Quelmo three ways and runs every test:
#   build/        the application with all unit and end-to-end tests, and its Debian package
#   build-asan/   the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   build-tsan/   the engine tests under ThreadSanitizer
# The end-to-end tests start their own X server (Xvfb) and private PulseAudio daemon and stop
# them when they finish, so no display or sound server is needed beforehand.
# Ends with one line "N passed, N failed" summing the three runs; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh || exit 1

jobs=$(nproc)
total_passed=0
total_failed=0
status=0

configure_and_build() { # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
    cmake --build "$dir" -j "$jobs"
}

run_ctest() { # label for the summary, dir, ctest args...
    local name=$1 dir=$2
    shift 2
    local log="$dir/ctest-summary.log"
    echo "=== $name ==="
    (cd "$dir" && ctest --output-on-failure --timeout 600 -j "$jobs" "$@") 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line passed failed all
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [[ -n "$line" ]]; then
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        all=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((all - failed))
        total_passed=$((total_passed + passed))
        total_failed=$((total_failed + failed))
    elif [[ $rc -ne 0 ]]; then
        total_failed=$((total_failed + 1))
    fi
    [[ $rc -eq 0 ]] || status=1
}

mkdir -p build build-asan build-tsan
# As root (CI runs so), the package test installs the Debian package for real and removes it.
if [[ $(id -u) -eq 0 ]]; then export QUELMO_TEST_INSTALL_PACKAGE=1; fi

if configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
    run_ctest "application, unit and end-to-end tests" build
else
    echo "build failed"; status=1; total_failed=$((total_failed + 1))
fi

if configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DQUELMO_BUILD_APP=OFF \
    -DQUELMO_SANITIZE=address,undefined; then
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        LSAN_OPTIONS=suppressions=$root/tests/lsan-third-party.supp run_ctest "unit tests under ASan and UBSan" build-asan
else
    echo "sanitizer build failed"; status=1; total_failed=$((total_failed + 1))
fi

if configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUELMO_BUILD_APP=OFF \
    -DQUELMO_SANITIZE=thread; then
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest "engine tests under TSan" build-tsan -L engine
else
    echo "thread-sanitizer build failed"; status=1; total_failed=$((total_failed + 1))
fi

echo "${total_passed} passed, ${total_failed} failed"
exit $status
