#!/bin/sh
# Fuzzes the program with AFL++ (Debian package afl++) through the harness in
# tests/fuzz/harness.cpp. Three targets:
#   params  the parameter file is fuzzed; a fixed small data file is used
#   data    the data file is fuzzed; a fixed parameter file (3 loci, 2 repeats)
#   whole   both: one input, the parameter file, a line "~~~", the data file
# and, through tests/fuzz/summary_harness.cpp, a fourth:
#   summary the input is a results file, read and summarised by foundabc-summary
#
# usage (as root):  sh tests/fuzz/run.sh TARGET MINUTES [asan]
#         replay:   sh tests/fuzz/run.sh replay TARGET [asan]
#
# A fuzzed parameter file names the files the program reads and writes, so it
# could name any path. Every campaign therefore runs as the unprivileged user
# `fuzzer` (created here), in a scratch folder it owns under its home:
#   /home/fuzzer/campaigns/TARGET[-asan]/{run,out}
# where run/ is the program's current folder (the harness empties it before
# each input) and out/ is AFL's output: out/default/crashes and .../hangs hold
# the inputs to look at. `asan` builds the harness with AddressSanitizer and
# UndefinedBehaviorSanitizer (AFL_USE_ASAN, AFL_USE_UBSAN) and then runs
# without a memory limit.
#
# Time-out: the harness skips inputs whose settings ask for more than about a
# tenth of a second of simulation (see kWorkBudget there), so an input that
# runs into AFL's time-out (-t, 1.5 s, or 5 s under the sanitizers) takes far
# longer than its settings ask for: a hang.
#
# `replay` runs every input of a finished campaign's queue, crashes and hangs
# through the sanitizer build and prints any sanitizer report.
set -e
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
[ "$(id -u)" = 0 ] || { echo "run.sh: run as root (it creates the user fuzzer)"; exit 1; }
command -v afl-fuzz >/dev/null || { echo "run.sh: apt-get install afl++"; exit 1; }

if [ "$1" = replay ]; then
    REPLAY=1
    shift
fi
TARGET=$1
case "$TARGET" in params|data|whole) ;; summary) ;; *) echo "run.sh: target params, data, whole or summary"; exit 1;; esac
HARNESS=foundabc_fuzz
[ "$TARGET" = summary ] && HARNESS=foundabc_summary_fuzz
if [ -n "$REPLAY" ]; then
    VARIANT=${2:-}
else
    MINUTES=${2:?minutes}
    VARIANT=${3:-}
fi

# Builds the harness with AFL's instrumenting compiler.
build() { # folder, extra environment
    dir=$1
    shift
    env "$@" CC=afl-clang-fast CXX=afl-clang-fast++ cmake -S "$ROOT" -B "$dir" \
        -DCMAKE_BUILD_TYPE=Release -DFOUNDABC_TESTS=OFF -DFOUNDABC_FUZZ=ON >/dev/null
    env "$@" cmake --build "$dir" -j 2 --target "$HARNESS" >/dev/null
}
build "$ROOT/build-fuzz"
build "$ROOT/build-fuzz-asan" AFL_USE_ASAN=1 AFL_USE_UBSAN=1

id fuzzer >/dev/null 2>&1 || useradd -m fuzzer
NAME=$TARGET${VARIANT:+-$VARIANT}
CAMPAIGN=/home/fuzzer/campaigns/$NAME
SANITIZER_ENV="ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1"

if [ -n "$REPLAY" ]; then
    [ -d "$CAMPAIGN/out" ] || { echo "run.sh: no campaign $NAME"; exit 1; }
    install -o fuzzer -g fuzzer -m 755 "$ROOT/build-fuzz-asan/$HARNESS" "$CAMPAIGN/foundabc_fuzz_asan"
    mkdir -p "$CAMPAIGN/replay" && touch "$CAMPAIGN/replay/.fuzz-run-dir"
    chown -R fuzzer:fuzzer "$CAMPAIGN/replay"
    # Each input in a fresh process; report those that end by a signal or
    # print a sanitizer report.
    runuser -u fuzzer -- sh -c "cd '$CAMPAIGN/replay' && n=0 && bad=0 &&
        for f in ../out/default/queue/id* ../out/default/crashes/id* ../out/default/hangs/id*; do
            [ -f \"\$f\" ] || continue
            n=\$((n + 1))
            env ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 timeout 20 \
                ../foundabc_fuzz_asan $TARGET \"\$f\" >/dev/null 2>../err.txt
            rc=\$?
            if [ \$rc -gt 1 ]; then bad=\$((bad + 1)); echo \"\$f: status \$rc\"; head -5 ../err.txt; fi
        done; echo \"replayed \$n inputs, \$bad ended badly\""
    exit 0
fi

BIN=$ROOT/build-fuzz${VARIANT:+-$VARIANT}/$HARNESS
mkdir -p "$CAMPAIGN/run"
touch "$CAMPAIGN/run/.fuzz-run-dir"
install -m 755 "$BIN" "$CAMPAIGN/foundabc_fuzz"
rm -rf "$CAMPAIGN/seeds" && cp -r "$ROOT/tests/fuzz/seeds/$TARGET" "$CAMPAIGN/seeds"
cp "$ROOT/tests/fuzz/params.dict" "$CAMPAIGN/"
chown -R fuzzer:fuzzer "$CAMPAIGN"

if [ "$VARIANT" = asan ]; then
    LIMITS="-m none -t 5000"
    EXTRA="$SANITIZER_ENV"
else
    LIMITS="-m 1024 -t 1500"
    EXTRA=
fi
DICT=
case "$TARGET" in
    data) ;;
    summary) cp "$ROOT/tests/fuzz/summary.dict" "$CAMPAIGN/"; DICT="-x ../summary.dict" ;;
    *) DICT="-x ../params.dict" ;;
esac
# A previous output folder is resumed (-i -) rather than overwritten.
INPUT="-i ../seeds"
[ -d "$CAMPAIGN/out/default/queue" ] && INPUT="-i -"
exec runuser -u fuzzer -- env AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 \
    AFL_NO_AFFINITY=1 AFL_NO_UI=1 $EXTRA \
    sh -c "cd '$CAMPAIGN/run' && exec afl-fuzz $INPUT -o ../out $LIMITS $DICT -V $((MINUTES * 60)) \
        -- ../foundabc_fuzz $TARGET @@"
