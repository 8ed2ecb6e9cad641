#!/bin/sh
# `make install PREFIX=...` puts both programs and both man pages under the
# prefix, and the installed programs run. Arguments: source folder, build
# folder.
set -e
source_dir=$1
build_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
make -s -C "$source_dir" install BUILD="$build_dir" PREFIX="$prefix" >/dev/null
for f in bin/foundabc bin/foundabc-summary share/man/man1/foundabc.1 share/man/man1/foundabc-summary.1; do
    if [ ! -s "$prefix/$f" ]; then
        echo "missing after make install: $f"
        exit 1
    fi
done
grep -q 'check' "$prefix/share/man/man1/foundabc.1" || { echo "man page lacks the options"; exit 1; }
"$prefix/bin/foundabc" --version >/dev/null
"$prefix/bin/foundabc-summary" --version >/dev/null
echo "installed under $prefix"
