#!/bin/sh
# Gradescope runs this once, as root, when it builds the autograder's image: it installs fivestage
# from the copy of its source in the autograder zip (the folder fivestage/ beside this file).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
sh "$here/fivestage/examples/platforms/install.sh" "$here/fivestage"
