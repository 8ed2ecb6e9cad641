#!/bin/sh
# Installs the Debian packages that building, running and testing need,
# skipping those already present (the Python ones for the comparison with
# msprime, whose build lies in ../shared/pylib). Run as root (or through sudo).
set -e
packages="make cmake g++ pkg-config libgsl-dev libgtest-dev faketime libcli11-dev libtomlplusplus-dev gnuplot-nox valgrind util-linux zlib1g-dev gzip help2man man-db r-base-core r-cran-nnet r-cran-ranger python3-pandas python3-numpy python3-scipy python3-attr python3-jsonschema python3-ruamel.yaml chromium chromium-driver python3-selenium poppler-utils fonts-dejavu-core slurmctld slurmd slurm-client munge"
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends $missing
fi
