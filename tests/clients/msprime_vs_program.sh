#!/bin/sh
# The program's simulator against msprime on the same founding model (see
# msprime_vs_program.py): runs it with the first Python that imports numpy,
# msprime from $FOUNDABC_PYLIB or ../shared/pylib beside the checkout.
# Exits 77 (skipped) when no Python can import msprime.
#
# usage: sh tests/clients/msprime_vs_program.sh PATH/TO/foundabc [OPTIONS]
HERE=$(cd "$(dirname "$0")" && pwd)
for py in "$PYTHON" python3 /usr/bin/python3; do
    [ -n "$py" ] || continue
    if "$py" -B -c 'import sys; sys.path.insert(0, sys.argv[1]); import msprime_founding as m
sys.exit(0 if m.import_msprime(sys.argv[2]) else 1)' "$HERE" "$HERE/../.." 2> /dev/null; then
        exec "$py" -B "$HERE/msprime_vs_program.py" "$@"
    fi
done
echo "skipped: msprime cannot be imported (set FOUNDABC_PYLIB or put it in ../shared/pylib)"
exit 77
