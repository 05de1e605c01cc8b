#!/usr/bin/env bash
# Whole-process comparisons of the container with Info-ZIP on a generated diary:
#   bench/compare.sh [BUILD_BIN] [DAYS]      (defaults: build/bin, 3650 = the ten-year diary)
# 1. extracting every entry: `quillbook-tool verify` (each entry by its place in the directory)
#    against `unzip -p -P … > /dev/null`;
# 2. saving one entry (a complete rewrite; ours also syncs file and folder) against `zip -P …`,
#    and against `zip` followed by `sync` of the archive and its folder; then taking turns
#    (save_compare.py), which a machine whose speed drifts cannot tilt, with the save as the
#    program makes it (timed inside the process) as a third contender; and the instructions
#    each executes (callgrind: the same count on every run), when valgrind is there;
# 3. peak memory while extracting every entry.
# Uses hyperfine when installed (apt-get install hyperfine), /usr/bin/time otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/bin}" && pwd)
days=${2:-3650}
password=qmt90315526hzrp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$bin/make-diary" "$days" diary.orig
cp diary.orig diary
"$bin/quillbook-tool" extract diary "2005年1月1日" > entry.rtf
echo "diary of $days days: $(stat -c %s diary.orig) bytes; one entry: $(stat -c %s entry.rtf) bytes"

fresh='cp diary.orig diary && sync diary'
fresh_zip='cp diary.orig diary.zip && sync diary.zip'
if command -v hyperfine > /dev/null; then
  hyperfine -N --warmup 3 --runs 20 \
    "$bin/quillbook-tool verify diary" \
    "unzip -p -P $password diary"
  hyperfine --warmup 3 --runs 30 \
    --prepare "$fresh" "$bin/quillbook-tool add diary 2013年9月1日 entry.rtf" \
    --prepare "$fresh_zip" "zip -q -P $password diary.zip entry.rtf" \
    --prepare "$fresh_zip" "zip -q -P $password diary.zip entry.rtf && sync diary.zip ."
else
  for i in 1 2 3; do
    /usr/bin/time -f "quillbook-tool verify: %e s" "$bin/quillbook-tool" verify diary
    /usr/bin/time -f "unzip -p: %e s" unzip -p -P "$password" diary > /dev/null
    sh -c "$fresh"; /usr/bin/time -f "quillbook-tool add: %e s" "$bin/quillbook-tool" add diary 2013年9月1日 entry.rtf
    sh -c "$fresh_zip"; /usr/bin/time -f "zip -P: %e s" zip -q -P "$password" diary.zip entry.rtf
  done
fi

echo "saving one entry, taking turns:"
python3 "$here/save_compare.py" "$bin" diary.orig entry.rtf 100
if command -v valgrind > /dev/null; then
  for tool in quillbook zip; do
    cp diary.orig diary && cp diary.orig diary.zip
    if [ $tool = quillbook ]; then command=("$bin/quillbook-tool" add diary 2099年1月1日 entry.rtf)
    else command=(zip -q -P "$password" diary.zip entry.rtf); fi
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "${command[@]}" 2>&1 \
      | sed -n "s/.*refs: *\([0-9,]*\).*/instructions, ${command[0]##*/} ${command[1]}: \1/p"
  done
fi

cp diary.orig diary
/usr/bin/time -f "peak memory, quillbook-tool verify: %M KiB" "$bin/quillbook-tool" verify diary
/usr/bin/time -f "peak memory, unzip -p: %M KiB" unzip -p -P "$password" diary > /dev/null
/usr/bin/time -f "peak memory, quillbook-tool list (start-up alone): %M KiB" "$bin/quillbook-tool" list diary > /dev/null
