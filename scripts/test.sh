#!/usr/bin/env bash
# Installs what is missing, checks the C++ layout, builds Murmelo with its tests, and runs the whole
# suite; then runs the code that reads outside bytes (audio, library, command line) again under the
# address and undefined-behaviour sanitizers, the serial queues and telemetry under the thread
# sanitizer, and, when clang is there, every fuzz target for a while.
# Extra arguments go to the first ctest run (for example: -L audio, -LE slow).
# MURMELO_FUZZ_SECONDS sets each fuzz target's time (default 60; 0 skips fuzzing);
# MURMELO_SANITIZE=0 skips the sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The layout is the repository's .clang-format, as clang-format 14 applies it; a file that
# differs fails the run before anything is built (`clang-format -i FILE` mends it).
echo "== clang-format"
mapfile -t sources < <(find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
clang-format-14 --dry-run --Werror "${sources[@]}"

# Paths relative to the checkout let a fresh clone reuse what an earlier build compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev "$@"

if [ "${MURMELO_SANITIZE:-1}" != 0 ]; then
  echo "== address and undefined-behaviour sanitizers: audio, library and command-line tests"
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cmake --preset asan >/dev/null
  cmake --build --preset asan --target murmelo audio_tests library_tests library_core_tests cli_tests store_crash_helper
  ctest --preset asan -L '^(audio|library|cli)$' -LE soundserver
  unset ASAN_OPTIONS UBSAN_OPTIONS

  echo "== thread sanitizer: the serial queues, the telemetry's threads, the players and the mail jobs"
  # Qt itself is not built with the thread sanitizer: what it hands between threads inside its
  # own code is unseen, and scripts/tsan.supp names the libraries whose reports are only that.
  # The dump command's tests run the program (not built here); the two-gigabyte answer is too
  # slow to stream under the sanitizer for its time limit.
  export TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan --target platform_tests telemetry_tests audio_tests engine_tests mail_tests
  ctest --preset tsan -L '^(platform|telemetry|engine)$' -LE '^(soundserver|crash)$' \
    -E '^(TelemetryDump[.]|UploadTest[.]ATwoGigabyte)'
  # The players read ahead on a worker thread; the mail jobs hand deliveries back to the main
  # queue. The SMTP dialogues with servers on loopback are left to the plain run.
  ctest --preset tsan -R '^(Player|PlayerStreaming|PlayerAudioFile|MailJobsTest)[.]' -LE soundserver
  unset TSAN_OPTIONS
fi

seconds="${MURMELO_FUZZ_SECONDS:-60}"
if [ "$seconds" != 0 ] && command -v clang++ >/dev/null; then
  echo "== fuzzing: every fuzz target for ${seconds} s, two at a time"
  cmake --preset fuzz >/dev/null
  # Only the fuzz targets (and what they link) are built with clang.
  mapfile -t names < <(cmake --build --preset fuzz --target help | grep -o '^fuzz_[A-Za-z0-9_]*' | grep -v '_autogen' | sort -u)
  cmake --build --preset fuzz --target "${names[@]}"
  mapfile -t targets < <(find build/fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x | sort)
  failed=0
  fuzz() {
    local target="$1" name corpus
    name="$(basename "$target")"
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    # The corpus stays between runs, so each run starts where the last one got to; a fixed seed
    # lets a fault found here be found again by the same command.
    if ! "$target" -seed=1 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 \
         -artifact_prefix="build/fuzz/$name-" "$corpus" >"build/fuzz/$name.log" 2>&1; then
      echo "$name found a fault:"; tail -n 40 "build/fuzz/$name.log"
      return 1
    fi
    echo "$name: $(grep -o 'Done [0-9]* runs' "build/fuzz/$name.log" | tail -n 1)"
  }
  for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for target in "${targets[@]:i:2}"; do
      fuzz "$target" & pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  done
  [ "$failed" = 0 ]
fi
