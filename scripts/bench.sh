#!/usr/bin/env bash
# Whole-process benchmark of kavrix against a plain stdio baseline (fscanf /
# fprintf "%lg", one fread / fwrite per binary row) and, for binary grids,
# against the arithmetic floor (one fread per row, the C library's tan and
# log per cell, one fwrite per row), on the widest vector lanes, on four
# (AVX2) and on none (KAVRIX_VECTOR_LANES); kavrix-dist on the double output against the kavrix run
# that made it; and, where GDAL is installed, kavrix-gdal on tiled GeoTIFFs
# against gdal_calc.py with the same formula and against kavrix on the same
# values. Builds Release in its own folder, generates the grids
# there, runs every program several times interleaved and prints the median
# cost per cell and the ratios against the targets; then checks that peak
# memory does not grow with the number of rows.
#
# Settings (environment):
#   KAVRIX_BENCH_COLS, KAVRIX_BENCH_ROWS  grid size (default 2000 x 2000)
#   KAVRIX_BENCH_RUNS                     rounds (default 5); each round runs
#                                         every program once on text inputs,
#                                         three times on binary ones
#   KAVRIX_BENCH_MEM_ROWS                 rows of the large memory-check grid,
#                                         1000 columns (default 100000; 0 skips)
#   KAVRIX_BENCH_BUILD                    build folder (default build-bench)
#   KAVRIX_BENCH_GDAL_SIZE                columns and rows of kavrix-gdal's
#                                         GeoTIFFs (default 4000; 0 skips)
#
# Ratios use the median CPU time (user + system) of each program, which a
# busy shared machine disturbs less than wall time; wall time is shown too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench

cols=${KAVRIX_BENCH_COLS:-2000}
rows=${KAVRIX_BENCH_ROWS:-2000}
runs=${KAVRIX_BENCH_RUNS:-5}
mem_rows=${KAVRIX_BENCH_MEM_ROWS:-100000}
gdal_size=${KAVRIX_BENCH_GDAL_SIZE:-4000}
build=${KAVRIX_BENCH_BUILD:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRIX_WERROR=ON \
  -DKAVRIX_BENCH=ON -DKAVRIX_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
bin=$build
tool=$bin/kavrix
baseline=$bin/bench/kavrix_baseline
floor=$bin/bench/kavrix_floor
measure=$bin/bench/kavrix_measure

# Generates grids once per size and set of formats; a marker file tells
# that a folder is complete.
make_grids() {  # folder ncols nrows [formats...]
  local folder=$1
  if [ ! -e "$folder/complete" ]; then
    echo "generating grids in $folder" >&2
    mkdir -p "$folder"
    "$bin/bench/kavrix_make_grids" "$2" "$3" "$folder" "${@:4}"
    touch "$folder/complete"
  fi
}

grids=$build/grids/${cols}x${rows}
out=$build/grids/out
mkdir -p "$out"
make_grids "$grids" "$cols" "$rows"
results=$(mktemp)
trap 'rm -f "$results"' EXIT

# Runs one program and records "case program wall cpu rss".
# The dirty pages of the runs before are written back first, so that no
# run pays for another's output.
record() {  # case program command...
  local line
  sync
  line=$("$measure" "${@:3}")
  set -- "$1" "$2" $line
  if [ "$6" != 0 ]; then
    echo "$2 failed with status $6 in case $1" >&2
    exit 1
  fi
  echo "$1 $2 $3 $4 $5" >>"$results"
}

# case name, input extension, output switch, floor format ("-": no floor)
cases=("text-text asc -f:t -" "text-double asc -f:d -"
       "double-double dbl -f:d d" "single-single flt -f:s s")

for ((run = 1; run <= runs; ++run)); do
  echo "round $run of $runs" >&2
  for c in "${cases[@]}"; do
    read -r name ext switch floor_format <<<"$c"
    inputs=("$grids/a.$ext" "$grids/t.$ext" "$grids/s.$ext")
    # Binary runs are short and compared within 10%: three of each a round.
    repeats=1
    [ "$floor_format" != - ] && repeats=3
    for ((k = 0; k < repeats; ++k)); do
      record "$name" baseline "$baseline" "${inputs[@]}" "$out/baseline-$name" "$switch"
      record "$name" kavrix "$tool" "${inputs[@]}" "$out/kavrix-$name" "$switch"
      if [ "$floor_format" != - ]; then
        record "$name" floor "$floor" "${inputs[@]}" "$out/floor-$name" "$floor_format"
        for lanes in 4 0; do
          record "$name" "kavrix-$lanes" env KAVRIX_VECTOR_LANES=$lanes "$tool" "${inputs[@]}" \
            "$out/kavrix-$lanes-$name" "$switch"
        done
      fi
      if [ "$name" = double-double ]; then
        record "$name" dist "$bin/kavrix-dist" "$out/kavrix-$name"
      fi
    done
    if [ "$run" = 1 ] && ! cmp -s "$out/baseline-$name" "$out/kavrix-$name"; then
      echo "case $name: the output of kavrix differs from the baseline's" >&2
      exit 1
    fi
  done
done

median() {  # case program column -> median of that column
  awk -v c="$1" -v p="$2" -v k="$3" '$1 == c && $2 == p { print $k }' "$results" |
    sort -g | awk '{ v[NR] = $1 } END {
      if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

cells=$((cols * rows))
echo
echo "kavrix benchmark: ${cols} x ${rows} cells, median of $runs runs (binary inputs: $((3 * runs)))"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
# Vector extensions decide how fast NumPy's log and tan are (gdal_calc.py).
echo "vector extensions: $(grep -m1 '^flags' /proc/cpuinfo | tr ' ' '\n' |
  grep -E '^(sse4_2|avx|avx2|fma|avx512f|avx512dq|avx512vl)$' | tr '\n' ' ')"
printf '%-14s %-9s %12s %13s\n' case program "cpu ns/cell" "wall ns/cell"
for c in "${cases[@]}"; do
  read -r name _ _ floor_format <<<"$c"
  programs=(baseline kavrix)
  [ "$floor_format" != - ] && programs+=(kavrix-4 kavrix-0 floor)
  [ "$name" = double-double ] && programs+=(dist)
  for p in "${programs[@]}"; do
    printf '%-14s %-9s %12.1f %13.1f\n' "$name" "$p" \
      "$(awk -v s="$(median "$name" "$p" 4)" -v n="$cells" 'BEGIN { print s * 1e9 / n }')" \
      "$(awk -v s="$(median "$name" "$p" 3)" -v n="$cells" 'BEGIN { print s * 1e9 / n }')"
  done
done

echo
echo "ratios of median CPU time (wall time in brackets):"
ratio() {  # label numerator-program denominator-program case comparison target
  local cpu wall
  cpu=$(awk -v a="$(median "$4" "$2" 4)" -v b="$(median "$4" "$3" 4)" 'BEGIN { printf "%.2f", a / b }')
  wall=$(awk -v a="$(median "$4" "$2" 3)" -v b="$(median "$4" "$3" 3)" 'BEGIN { printf "%.2f", a / b }')
  local verdict
  verdict=$(awk -v r="$cpu" -v op="$5" -v t="$6" \
    'BEGIN { ok = op == ">=" ? r >= t : r <= t; print ok ? "met" : "MISSED" }')
  printf '%-16s %-19s %6s (%5s)  target %s %s  %s\n' "$4" "$1" "$cpu" "$wall" "$5" "$6" "$verdict"
}
ratio "baseline/kavrix" baseline kavrix text-text ">=" 5
ratio "baseline/kavrix" baseline kavrix text-double ">=" 6
# kavrix on the widest lanes the processor has ("kavrix"), on four lanes
# (kavrix-4) and on the C library's calls alone (kavrix-0).
echo "vector lanes of kavrix: $("$floor" --lanes) (kavrix-4: $(KAVRIX_VECTOR_LANES=4 "$floor" --lanes)," \
  "kavrix-0: $(KAVRIX_VECTOR_LANES=0 "$floor" --lanes))"
for name in double-double single-single; do
  ratio "kavrix/floor" kavrix floor "$name" "<=" 0.55
  ratio "kavrix-4/floor" kavrix-4 floor "$name" "<=" 0.55
  ratio "kavrix-0/floor" kavrix-0 floor "$name" "<=" 1.1
done
ratio "kavrix-dist/kavrix" dist kavrix double-double "<=" 1

if [ "$mem_rows" -gt 0 ]; then
  echo
  echo "peak resident memory, 1000 columns; one flow-accumulation grid is fed"
  echo "as all three inputs (memory does not depend on the values):"
  small=$build/grids/mem-1000x100
  large=$build/grids/mem-1000x${mem_rows}
  make_grids "$small" 1000 100 a-only text double
  make_grids "$large" 1000 "$mem_rows" a-only text double
  for c in "text-text asc -f:t" "double-double dbl -f:d"; do
    read -r name ext switch <<<"$c"
    rss=()
    for folder in "$small" "$large"; do
      line=$("$measure" "$tool" "$folder/a.$ext" "$folder/a.$ext" "$folder/a.$ext" \
        /dev/null "$switch")
      set -- $line
      [ "$4" = 0 ] || { echo "kavrix failed with status $4" >&2; exit 1; }
      rss+=("$3")
    done
    diff=$((rss[1] - rss[0]))
    verdict=MISSED
    [ "${diff#-}" -lt 1024 ] && verdict=met
    printf '%-14s 100 rows %7d KiB, %d rows %7d KiB, difference %5d KiB  target < 1024 KiB  %s\n' \
      "$name" "${rss[0]}" "$mem_rows" "${rss[1]}" "$diff" "$verdict"
  done
fi

if [ "$gdal_size" -gt 0 ] && [ ! -x "$bin/kavrix-gdal" ]; then
  echo
  echo "kavrix-gdal is not built (GDAL's development files are missing): skipped"
elif [ "$gdal_size" -gt 0 ]; then
  # Tiled Float64 GeoTIFFs of the double grids, made through kavrix-vrt.
  tiled() {  # folder ncols nrows [a-only]
    make_grids "$1" "$2" "$3" double ${4:-}
    for g in a t s; do
      if [ -e "$1/$g.dbl" ] && [ ! -e "$1/$g.tif" ]; then
        "$bin/kavrix-vrt" "$1/$g.dbl" "$1/$g.vrt"
        gdal_translate -q -co TILED=YES "$1/$g.vrt" "$1/$g.tmp.tif"
        mv "$1/$g.tmp.tif" "$1/$g.tif"
      fi
    done
  }
  geo=$build/grids/gdal-${gdal_size}
  tiled "$geo" "$gdal_size" "$gdal_size"
  # The cell rule in gdal_calc.py's terms: a cell at or below -9999 in any
  # input is nodata (gdal_calc.py's own masking lets a NaN through), T <= 0
  # is raised to 1e-8, S <= 1 to 1, with kavrix's degree factor; the grids'
  # cells are 10 map units wide.
  formula='where((A<=-9999)|(B<=-9999)|(C<=-9999),-9999,log(((A+1)*(10*10))/where(B<=0,1e-8,B)/tan(where(C<=1,1,C)*0.017453292516666667)))'
  for ((run = 1; run <= runs; ++run)); do
    echo "kavrix-gdal round $run of $runs" >&2
    # Each program replaces an output of its own, never another's.
    record gdal kavrix-gdal "$bin/kavrix-gdal" "$geo/a.tif" "$geo/t.tif" "$geo/s.tif" \
      "$out/kavrix-gdal.tif" -ot Float64 -co TILED=YES -q
    record gdal kavrix-gdal-1 "$bin/kavrix-gdal" "$geo/a.tif" "$geo/t.tif" "$geo/s.tif" \
      "$out/kavrix-gdal-1.tif" -ot Float64 -co TILED=YES -q --threads 1
    record gdal kavrix-gdal-1-0 env KAVRIX_VECTOR_LANES=0 "$bin/kavrix-gdal" "$geo/a.tif" \
      "$geo/t.tif" "$geo/s.tif" "$out/kavrix-gdal-1-0.tif" -ot Float64 -co TILED=YES -q --threads 1
    record gdal gdal_calc gdal_calc.py --quiet --overwrite -A "$geo/a.tif" -B "$geo/t.tif" \
      -C "$geo/s.tif" --outfile="$out/gdal_calc.tif" --calc="$formula" --type=Float64 \
      --NoDataValue=-9999 --co=TILED=YES
    record gdal kavrix "$tool" "$geo/a.dbl" "$geo/t.dbl" "$geo/s.dbl" "$out/kavrix-gdal.dbl" -f:d
  done
  # gdal_calc.py computes with NumPy's tan and log: close, not the same bits.
  # Its own interpreter has NumPy and GDAL's bindings.
  python=$(sed -n '1s/^#! *//p' "$(command -v gdal_calc.py)")
  $python - "$out/kavrix-gdal.tif" "$out/gdal_calc.tif" "$out/kavrix-gdal.dbl" <<'PY'
import sys
import numpy
from osgeo import gdal
ours, calc = (gdal.Open(name).ReadAsArray() for name in sys.argv[1:3])
kavrix = numpy.fromfile(sys.argv[3], dtype="<f8", offset=96).reshape(ours.shape)
same = ours.view("<u8") == kavrix.view("<u8")
close = numpy.isclose(ours, calc, rtol=1e-12, atol=1e-12)
print(f"kavrix-gdal equals kavrix -f:d in {same.mean():.2%} of the cells, "
      f"gdal_calc.py within 1e-12 in {close.mean():.2%}")
sys.exit(0 if same.all() and close.all() else 1)
PY
  echo
  echo "kavrix-gdal on three ${gdal_size} x ${gdal_size} tiled Float64 GeoTIFFs, median of $runs runs:"
  printf '%-12s %10s %10s %10s\n' program "wall s" "cpu s" "peak MiB"
  for p in kavrix-gdal kavrix-gdal-1 kavrix-gdal-1-0 gdal_calc kavrix; do
    printf '%-12s %10.3f %10.3f %10.1f\n' "$p" "$(median gdal "$p" 3)" "$(median gdal "$p" 4)" \
      "$(awk -v k="$(median gdal "$p" 5)" 'BEGIN { print k / 1024 }')"
  done
  verdict() {  # value comparison target
    awk -v r="$1" -v op="$2" -v t="$3" 'BEGIN { print (op == ">=" ? r >= t : r <= t) ? "met" : "MISSED" }'
  }
  # gdal_calc.py's speed depends on the processor: with AVX-512, NumPy's
  # vectorised log and tan bring it close to kavrix-gdal's one thread.
  echo "NumPy's SIMD on this machine: $($python -c 'from numpy.core._multiarray_umath import __cpu_features__ as f, __cpu_dispatch__ as d; print(" ".join(k for k in d if f.get(k)) or "none")' 2>/dev/null || echo unknown)"
  # kavrix-gdal with its default threads (the processors it may use)
  # against its one thread and against gdal_calc.py; one thread against
  # kavrix on the same values as double grids.
  for c in "kavrix-gdal kavrix-gdal-1 <= 0.55" "kavrix-gdal gdal_calc <= 0.5" \
           "kavrix-gdal-1 kavrix <= 1.35" "kavrix-gdal-1 kavrix-gdal-1-0 <= 0.55"; do
    read -r num den op target <<<"$c"
    wall=$(awk -v a="$(median gdal "$num" 3)" -v b="$(median gdal "$den" 3)" 'BEGIN { printf "%.2f", a / b }')
    cpu=$(awk -v a="$(median gdal "$num" 4)" -v b="$(median gdal "$den" 4)" 'BEGIN { printf "%.2f", a / b }')
    printf '%-24s wall %5s (cpu %5s)  target %s %s  %s\n' "$num/$den" "$wall" "$cpu" "$op" "$target" \
      "$(verdict "$wall" "$op" "$target")"
  done
  peak=$(awk -v k="$(median gdal kavrix-gdal 5)" 'BEGIN { printf "%.1f", k / 1024 }')
  printf '%-24s %5s MiB  target <= 128 MiB  %s\n' "kavrix-gdal peak" "$peak" "$(verdict "$peak" "<=" 128)"
  if [ "$mem_rows" -gt 0 ]; then
    # One flow-accumulation raster of 256 columns (a tile wide) as all three inputs.
    rss=()
    for r in 100 "$mem_rows"; do
      tiled "$build/grids/gdal-mem-256x$r" 256 "$r" a-only
      a=$build/grids/gdal-mem-256x$r/a.tif
      set -- $("$measure" "$bin/kavrix-gdal" "$a" "$a" "$a" "$out/kavrix-gdal-mem.tif" -q)
      [ "$4" = 0 ] || { echo "kavrix-gdal failed with status $4" >&2; exit 1; }
      rss+=("$3")
    done
    diff=$((rss[1] - rss[0]))
    printf 'kavrix-gdal, 256 columns: 100 rows %d KiB, %d rows %d KiB, difference %d KiB  target < 1024 KiB  %s\n' \
      "${rss[0]}" "$mem_rows" "${rss[1]}" "$diff" "$([ "${diff#-}" -lt 1024 ] && echo met || echo MISSED)"
  fi
fi

# The Python package on arrays in memory (KAVRIX_BENCH_PYTHON_SIZE, default
# 4000; 0 skips): against the same formula in NumPy and against one thread.
python_size=${KAVRIX_BENCH_PYTHON_SIZE:-4000}
if [ "$python_size" -gt 0 ] && ls "$build"/python/kavrix/_kavrix*.so >/dev/null 2>&1; then
  echo
  PYTHONPATH=$build/python /usr/bin/python3 scripts/bench_python.py "$python_size" "$runs"
  echo "the same without vector lanes (KAVRIX_VECTOR_LANES=0):"
  KAVRIX_VECTOR_LANES=0 PYTHONPATH=$build/python /usr/bin/python3 scripts/bench_python.py \
    "$python_size" "$runs"
fi
