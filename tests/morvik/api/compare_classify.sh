#!/usr/bin/env bash
# The Windows morvik-classify (under Wine) against the Linux one: the same answers, byte for byte,
# for every line of morvik's development texts, with the Linux build's model files; and the
# models the Windows morvik-build made, byte for byte the same as the Linux ones.
#   compare_classify.sh LINUX_BUILD WINDOWS_BUILD DEV_DIR SCRATCH -- EMULATOR...
set -euo pipefail
linux=$1 windows=$2 dev=$3 scratch=$4
shift 4
[[ "${1:-}" == "--" ]] && shift
emulator=("$@")

native="$linux/tools/morvik/morvik-classify"
exe="$windows/bin/morvik-classify.exe"
for f in "$native" "$exe" "$linux/data/lid.cfg"; do
  [[ -e "$f" ]] || { echo "compare_classify: $f is missing (build the Linux tree first)" >&2; exit 1; }
done
mkdir -p "$scratch"
failed=0

for model in "$linux"/data/*4.bin; do
  name=$(basename "$model")
  if ! cmp "$model" "$windows/data/$name"; then
    echo "compare_classify: the Windows build's $name differs from the Linux build's" >&2
    failed=1
  fi
done

# All development texts in one input, one sample a line.
find "$dev" -type f -name '*.txt' | LC_ALL=C sort | xargs cat >"$scratch/dev.txt"
lines=$(wc -l <"$scratch/dev.txt")
# Wine maps the drive Z: to the root folder.
config_win="Z:$(cd "$linux/data" && pwd)/lid.cfg"
for mode in plain "--lang nl" "--lang fr" --html; do
  opts=(--lines)
  [[ "$mode" != plain ]] && opts+=($mode)
  tag=${mode// /}
  "$native" "${opts[@]}" "$linux/data/lid.cfg" <"$scratch/dev.txt" >"$scratch/linux$tag.out"
  "${emulator[@]}" "$exe" "${opts[@]}" "$config_win" <"$scratch/dev.txt" >"$scratch/windows$tag.out"
  answers=$(wc -l <"$scratch/linux$tag.out")
  if [[ "$answers" -ne "$lines" ]]; then
    echo "compare_classify ($mode): $answers answers for $lines lines" >&2
    failed=1
  elif cmp -s "$scratch/linux$tag.out" "$scratch/windows$tag.out"; then
    echo "compare_classify ($mode): $answers answers, the same bytes"
  else
    echo "compare_classify ($mode): the answers differ:" >&2
    diff "$scratch/linux$tag.out" "$scratch/windows$tag.out" | head -20 >&2 || true
    failed=1
  fi
done
exit $failed
