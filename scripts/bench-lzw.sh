#!/usr/bin/env bash
# Compares the preset LZW codec with Debian's ncompress (compress -b16) on the
# same files: header text, a shared library, random and constant bytes.
# The stream formats differ, so it compares speed and ratio, not bytes.
# Usage: scripts/bench-lzw.sh <build-dir> [megabytes, default 32]
set -euo pipefail
build="${1:?usage: bench-lzw.sh <build-dir> [megabytes]}"
mb="${2:-32}"
bench="$build/bench/presets_lzw_bench"
[ -x "$bench" ] || { echo "build the presets_lzw_bench target in $build first" >&2; exit 1; }
command -v compress >/dev/null || { echo "ncompress is missing (scripts/install-deps.sh)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bytes=$((mb * 1024 * 1024))
set +o pipefail
find /usr/include -type f -name '*.h' -print0 | sort -z | xargs -0 cat 2>/dev/null | head -c "$bytes" >"$work/text"
lib="$(find /usr/lib -type f -name '*.so*' -size +4M -printf '%s %p\n' 2>/dev/null | sort -rn | head -n 1 | cut -d' ' -f2-)"
head -c "$bytes" "$lib" >"$work/binary"
head -c "$bytes" /dev/urandom >"$work/random"
head -c "$bytes" /dev/zero >"$work/constant"
set -o pipefail

# Best wall time of three runs, in seconds.
best_of_three() {
    local best="" start end t
    for _ in 1 2 3; do
        start=$(date +%s%N)
        "$@"
        end=$(date +%s%N)
        t=$((end - start))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

# Ours: the best of three repetitions, as for compress below.
ours="$("$bench" --benchmark_format=csv --benchmark_repetitions=3 "$work/text" "$work/binary" "$work/random" "$work/constant" 2>/dev/null)"
# name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,label,error_occurred,error_message,ratio
# (one row per repetition, then aggregates with suffixed names)
field() { echo "$ours" | awk -F, -v n="\"$1/$2/min_time:1.000\"" -v c="$3" '$1 == n && (best == "" || $c + 0 > best) { best = $c + 0 } END { print best }'; }

printf '%-9s %8s | %12s %12s %8s | %12s %12s %8s\n' file MB "ours c MB/s" "ours x MB/s" ratio \
    "compress c" "compress x" ratio
for f in text binary random constant; do
    size=$(stat -c %s "$work/$f")
    ctime=$(best_of_three sh -c "compress -b16 -c '$work/$f' >'$work/$f.Z' || [ \$? -eq 2 ]")
    xtime=$(best_of_three sh -c "compress -d -c '$work/$f.Z' >/dev/null")
    zsize=$(stat -c %s "$work/$f.Z")
    oc=$(field LzwCompress "$f" 6)
    ox=$(field LzwExpand "$f" 6)
    oratio=$(field LzwCompress "$f" 11)
    awk -v f="$f" -v s="$size" -v oc="$oc" -v ox="$ox" -v or="$oratio" -v ct="$ctime" -v xt="$xtime" -v z="$zsize" \
        'BEGIN { printf "%-9s %8.1f | %12.1f %12.1f %8.3f | %12.1f %12.1f %8.3f\n",
                 f, s / 1048576, oc / 1048576, ox / 1048576, or, s / 1048576 / ct, s / 1048576 / xt, z / s }'
done
echo "MB/s of uncompressed data; ratio = compressed / original (smaller is better)."
echo "binary: $lib"
