#!/usr/bin/env bash
# Exporting the generated diary, as whole processes, against listing it:
#   bench/export_bench.sh [BUILD_BIN] [DAYS]      (defaults: build/bin, 3650 = the ten-year diary)
# `quillbook-tool diary` lists every entry (what the list page shows); `quillbook-tool export`
# writes each format. Each is run three times; the best wall time and the peak memory (maximum
# resident set) of the best run are printed.
set -euo pipefail

bin=$(cd "${1:-build/bin}" && pwd)
days=${2:-3650}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export QT_QPA_PLATFORM=offscreen

"$bin/make-diary" "$days" diary
echo "diary of $days days: $(stat -c %s diary) bytes"

measure() {
  local label=$1; shift
  local best="" best_kb=""
  for _ in 1 2 3; do
    rm -rf out.*
    /usr/bin/time -f '%e %M' -o time.txt "$@" > /dev/null 2> /dev/null || true
    read -r secs kb < time.txt
    if [ -z "$best" ] || awk "BEGIN { exit !($secs < $best) }"; then best=$secs; best_kb=$kb; fi
  done
  local size=""
  if [ -e out.x ]; then size=" output $(du -sb out.x | cut -f1) bytes"; fi
  printf '%-22s %6.2f s  peak %6d MiB%s\n' "$label" "$best" $((best_kb / 1024)) "$size"
}

measure "listing (diary)" "$bin/quillbook-tool" diary diary
for format in txt md html pdf odt; do
  measure "export $format" "$bin/quillbook-tool" export diary --format "$format" out.x
done
measure "export md per entry" "$bin/quillbook-tool" export diary --format md --per-entry out.x
