#!/bin/sh
# Builds and installs fivestage from its source tree on a Debian or Ubuntu machine (a grader's image
# or a CI runner): the packages it builds with, then a release build without the tests, installed
# under PREFIX so that fivestage-report is on the PATH. Run as root.
#
# Usage: install.sh SOURCE_DIR [PREFIX]   (PREFIX: /usr/local by default)
set -eu
source_dir=${1:?usage: install.sh SOURCE_DIR [PREFIX]}
prefix=${2:-/usr/local}
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT

apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  cmake g++ make nlohmann-json3-dev libcli11-dev
# A newer compiler than the project's may warn where it did not: warnings do not stop this build.
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFIVESTAGE_TESTS=OFF -DFIVESTAGE_WERROR=OFF
cmake --build "$build" --parallel "$(nproc)"
cmake --install "$build" --prefix "$prefix"
fivestage-report --version
