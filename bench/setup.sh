# Shared set-up of the benchmark scripts (sourced, not run). Expects ROOT (the
# project folder) and SCRATCH_NAME; builds the optimised program, the draw
# counter and the draw floor in build-bench/, freezes the clock, and leaves
# the caller in a fresh scratch folder holding copies of the workloads.
# Sets BUILD, BIN (FOUNDABC_BIN, if given, measures another build),
# FAKETIME_LIB and CLOCK_SEED: the option that seeds a run with the frozen
# clock (empty for an older build, which was always seeded so).
BUILD=$ROOT/build-bench
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DFOUNDABC_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j 2 >/dev/null
cc -O2 -shared -fPIC -o "$BUILD/libdrawcount.so" "$ROOT/bench/draw_counter.c" -ldl
c++ -O2 -std=c++17 -o "$BUILD/draw_floor" "$ROOT/bench/draw_floor.cpp" -lgsl -lgslcblas

FAKETIME_LIB=$(ls /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 2>/dev/null || true)
[ -n "$FAKETIME_LIB" ] || { echo "bench: libfaketime not found (apt-get install faketime)"; exit 1; }
export FAKETIME="2024-01-01 00:00:00"  # frozen: a slow start cannot move the seed
BIN=${FOUNDABC_BIN:-$BUILD/foundabc}
case $BIN in /*) ;; *) BIN=$ROOT/$BIN ;; esac
CLOCK_SEED=$("$BIN" --help 2>/dev/null | grep -q -e '--clock-seed' && echo --clock-seed || true)
SCRATCH=$BUILD/$SCRATCH_NAME
rm -rf "$SCRATCH" && mkdir -p "$SCRATCH"
cp "$ROOT"/bench/workloads/* "$SCRATCH/"
cd "$SCRATCH"
