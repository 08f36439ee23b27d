#!/usr/bin/env bash
# Runs libFuzzer targets: scripts/fuzz.sh [SECONDS] [TARGET...]
# Each target starts from its seed corpus in tests/fuzz/corpus/<target> and grows a
# working corpus under build/fuzz/corpus/<target>; a crashing input is saved under
# build/fuzz/crashes/ and should be added to the seed corpus once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_blur fuzz_stretch fuzz_settings fuzz_font fuzz_command_tail fuzz_render_cli
                                fuzz_text_file)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(jobs)" --target "${targets[@]}"
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work" build/fuzz/crashes
  echo "== $target for ${seconds}s"
  build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build/fuzz/crashes/$target- -print_final_stats=1 \
    "$work" "tests/fuzz/corpus/$target"
done
