#!/usr/bin/env bash
# CI, fuzzing: the upgrade-file reader and the command-line parser, each
# under libFuzzer with ASan and UBSan for a while (60 s each unless
# FUZZ_SECONDS says otherwise), starting from its seed corpus in
# tests/fuzz/corpus/. The committed corpus is not grown: each run works on a
# copy. A crash, a broken invariant, a leak or a slow input fails; the input
# that caused it lands in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

# clang and its libFuzzer runtime; a bare Debian 12 has neither.
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  echo "Installing: clang libclang-rt-14-dev"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends clang libclang-rt-14-dev
fi

cmake -S . -B build-fuzz -DFWSEND_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j2

findings=build-fuzz/findings
rm -rf "$findings" build-fuzz/corpus
mkdir -p "$findings" build-fuzz/corpus
for target in upgrade_image command_line; do
  cp -r "tests/fuzz/corpus/$target" "build-fuzz/corpus/$target"
  echo "-- ${target}_fuzz for ${seconds} s"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build-fuzz/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/${target}-" "build-fuzz/corpus/$target" > "build-fuzz/${target}.log" 2>&1 ||
    { tail -40 "build-fuzz/${target}.log"; echo "fuzz: ${target}_fuzz found a fault (input in $findings)"; exit 1; }
  grep -E "^stat::number_of_executed_units|^Done" "build-fuzz/${target}.log" || true
done
echo "fuzz: no findings"
