#!/bin/sh
# cmake --install puts fivestage, fivestage-report and fivestage-grade in the
# prefix's bin/, and with that on the PATH the commands fivestage --init names
# run the folder it made. Given the web build as well, the page lands whole in
# share/fivestage/web.
#
# Usage: installs.sh CMAKE BUILD_DIR [WEB_BUILD_DIR WEB_SITE_DIR]
set -eu
cmake=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() {
  echo "installs.sh: $*" >&2
  exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for program in fivestage fivestage-report fivestage-grade; do
  [ "$("$prefix/bin/$program" --version)" = "$program 1.0" ] || fail "$program --version"
  "$prefix/bin/$program" --help | grep -q "$program" || fail "$program --help"
done

# Found by name on the PATH, fivestage names itself so.
PATH=$prefix/bin:$PATH
export PATH
cd "$work"
fivestage --init lab >said
sed -n '/then run it:/,$s/^  //p' said >next
printf 'cd lab && fivestage\nfivestage lab\n' | cmp -s - next || fail "--init names: $(cat next)"
printf '1\n' >keyboard
while IFS= read -r typed; do
  sh -c "$typed" <keyboard >ran || fail "'$typed' ended with status $?"
  grep -q ' All files loaded succesfully ' ran || fail "'$typed' did not load the folder"
done <next

if [ $# -ge 4 ]; then
  "$cmake" --install "$3" --prefix "$prefix" >/dev/null
  diff -r "$4" "$prefix/share/fivestage/web" || fail "the installed page differs from the site built"
fi
echo "installed and run from $prefix"
