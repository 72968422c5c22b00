#!/usr/bin/env bash
# Builds the fuzz preset, makes the seed corpora from the sample world and
# runs every fuzz target for SECONDS seconds (default 60), one after the
# other. New inputs collect in build/fuzz/fuzz-work/<target>/, crashes in
# build/fuzz/artifacts/. Fails as soon as a target finds a fault.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
build=build/fuzz

# target and its largest input: archives and region files need room,
# single records much less.
declare -A max_len=(
  [archive_fuzzer]=65536
  [decompress_fuzzer]=16384
  [region_fuzzer]=32768
  [scene_fuzzer]=4096
  [landblock_fuzzer]=4096
  [setup_model_fuzzer]=16384
  [gfx_obj_fuzzer]=16384
  [bake_fuzzer]=512
)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(archive_fuzzer decompress_fuzzer region_fuzzer scene_fuzzer landblock_fuzzer
           setup_model_fuzzer gfx_obj_fuzzer bake_fuzzer)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target quillmoor-fuzz-corpus "${targets[@]}"
corpus="$build/fuzz-corpus"
ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/quillmoor-fuzz-corpus" "$corpus"
mkdir -p "$build/artifacts"

for t in "${targets[@]}"; do
  bin=$(find "$build" -name "$t" -type f -perm -u+x | head -n 1)
  if [ -z "$bin" ]; then
    echo "fuzz/run.sh: no fuzzer named $t" >&2
    exit 1
  fi
  work="$build/fuzz-work/$t"
  mkdir -p "$work"
  echo "fuzz/run.sh: $t for ${seconds}s (max_len ${max_len[$t]})" >&2
  log="$build/artifacts/$t.log"
  status=0
  "$bin" "$work" "$corpus/$t" \
    -max_total_time="$seconds" -max_len="${max_len[$t]}" -rss_limit_mb=1024 -timeout=20 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' "$log" >&2 || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz/run.sh: $t failed (status $status); see $log" >&2
    exit 1
  fi
done
echo "fuzz/run.sh: every target ran ${seconds}s without a finding" >&2
