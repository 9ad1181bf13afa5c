#!/usr/bin/env bash
# Runs the readers' libFuzzer targets (needs clang; nothing else uses it).
#   tools/fuzz.sh SECONDS [TARGET...]
# Builds build/fuzz with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and the fuzzer, then runs each target (all when none is named) for SECONDS
# on a working corpus under build/fuzz/corpus/TARGET, seeded from
# tests/fuzz/corpus/TARGET and the bad inputs of ../shared/testdata/bad-input.
# Crashes, leaks and slow inputs are written to build/fuzz/findings/TARGET/;
# add the ones worth keeping to tests/fuzz/corpus/TARGET so the test suite
# runs them from then on. The window toolkit, the command line and the main
# window give the fuzzer no coverage (tests/fuzz/coverage_ignore.txt), the
# tape readers and the stores they fill give it their edges but no compare
# hooks (CMakeLists.txt, KORVEX_FUZZ; the tape targets get a dictionary of
# the tape words instead, tests/fuzz/dict/nc_tape.dict), and a reading is
# cut after kFuzzWorkLimit holes (tests/fuzz/fuzz_entries.h). The fuzzer and
# its targets (build/fuzz/fuzz_TARGET FILE too) never read past that point,
# so a fault there (a pattern read again without end, say) is no finding of
# theirs: the test suite's regression run reads every input kept in
# tests/fuzz/corpus uncut first, at most 10 seconds an input, and
# build/test/fuzz_regression TARGET FILE reads one input the same way.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-}
if [[ -z "$seconds" || ! "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
shift
if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "clang is not installed: the fuzz targets need clang's libFuzzer (apt-get install clang)." >&2
  exit 1
fi

all=(nc_reader drill_import rout_import cad_import gerber job_file swap_basic swap_filter
     filter_lists registry_file dxf odb odb_tree lzw hpgl ipc esi igi_post gcadd detect editor_file
     plot_spec tool_tables error_log settings)
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")

jobs=$(( $(nproc 2>/dev/null || echo 2) / 2 ))
((jobs > 0)) || jobs=1
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_SANITIZE=ON \
  -DKORVEX_FUZZ=ON -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize-coverage-ignorelist=$PWD/tests/fuzz/coverage_ignore.txt" >/dev/null
cmake --build build/fuzz -j "$jobs" --target "${targets[@]/#/fuzz_}"

status=0
for t in "${targets[@]}"; do
  corpus=$PWD/build/fuzz/corpus/$t
  findings=$PWD/build/fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  [ -d "tests/fuzz/corpus/$t" ] && cp -n tests/fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  for f in ../shared/testdata/bad-input/"$t"-*; do
    [ -f "$f" ] && cp -n "$f" "$corpus"/
  done
  # The tape targets: the tape words as a dictionary (their readers give no
  # compare hooks), and rare features are those seen fewer than 32 times, not
  # 255: a tape input passes thousands of edges, and the fuzzer's search of
  # its list of rare features for each of them took up to two fifths of an
  # input's time.
  extra=()
  case "$t" in
    nc_reader | drill_import | rout_import | cad_import)
      extra=(-dict="$PWD/tests/fuzz/dict/nc_tape.dict" -entropic_feature_frequency_threshold=32) ;;
  esac
  # The sanitizers check every access as always; a report names the eight
  # innermost calls of where the memory was allocated and freed, not thirty:
  # recording thirty at every allocation took a twentieth of an input's
  # time. The test suite's regression run gives the whole stacks for any
  # finding kept in tests/fuzz/corpus.
  # One fuzzer to a corpus: it need not read its folder again every second
  # for what other fuzzers put there (a listing and a look at each of its
  # thousands of files, a few per cent of the run, and more as it grows).
  echo "== $t: $seconds s"
  if ! ASAN_OPTIONS=detect_leaks=1:malloc_context_size=8 build/fuzz/fuzz_"$t" "$corpus" -max_total_time="$seconds" \
      -timeout=20 -rss_limit_mb=2048 -max_len=65536 -reload=0 -print_final_stats=1 ${extra[@]+"${extra[@]}"} \
      -artifact_prefix="$findings/" 2>build/fuzz/"$t".log; then
    status=1
    echo "   findings in $findings (log: build/fuzz/$t.log)"
  fi
  grep -E "^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb" build/fuzz/"$t".log | sed 's/^/   /' || true
done
exit $status
