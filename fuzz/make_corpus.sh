#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets from the bundled examples and the
# end-to-end cases: src FF FF reg FF FF mem [FF FF stdin].
# Usage: fuzz/make_corpus.sh OUTPUT_DIR   (creates OUTPUT_DIR/loader and OUTPUT_DIR/run)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$1"
mkdir -p "$out/loader" "$out/run"
separator=$'\xff\xff'
n=0
for folder in "$root"/examples/* "$root"/tests/e2e/cases/*; do
  [ -f "$folder/src.txt" ] || continue
  n=$((n + 1))
  files() {
    cat "$folder/src.txt"; printf '%s' "$separator"
    if [ -f "$folder/reg.txt" ]; then cat "$folder/reg.txt"; fi
    printf '%s' "$separator"
    if [ -f "$folder/mem.txt" ]; then cat "$folder/mem.txt"; fi
  }
  files > "$out/loader/seed-$n"
  { files; printf '%s' "$separator"; if [ -f "$folder/stdin" ]; then cat "$folder/stdin"; else printf '1\n\n\n\n\n\n\n\n\n\n'; fi; } \
    > "$out/run/seed-$n"
done
