#!/usr/bin/env bash
# The launcher as users get it: the tree `cmake --install` stages under DESTDIR from a build directory,
# or the Debian package unpacked into a temporary root. Each finds its tree through its own resolved path.
# Usage: install_test.sh <source dir> <build dir> | <package.deb>
set -euo pipefail
version=$(sed -n 's/^project(tvkcombo VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt")
from=$(realpath "$2") work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir -m 700 home
export HOME=$work/home PATH=$work/root/usr/bin:$PATH LC_ALL=C && unset TOVREK_ROOT
fail() { echo "FAIL: $*" && exit 1; }
expect_root() { # <launcher> <tree>: found from the launcher's own path, and of the source's version
    "$1" -i | grep -xF "Root Directory = $2 from computed realpath()" >/dev/null || fail "$1 -i does not name $2"
    "$1" --version | grep -xF "TOVREK tvkcombo     $version" >/dev/null || fail "$1 --version does not report $version and exit 0"
}
if [ -d "$from" ]; then
    prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$from/CMakeCache.txt")
    DESTDIR=$work/dest cmake --install "$from" >/dev/null && expect_root "dest$prefix/bin/tvkcombo" "$work/dest$prefix"
    exit
fi
dpkg-deb -x "$from" root
[ -z "$(find root -type d -empty)" ] || fail "empty directories: $(find root -type d -empty)"
[ "$(readlink root/usr/bin/tvkcombo)" = /opt/tovrek/bin/tvkcombo ] || fail "usr/bin/tvkcombo is no link into /opt/tovrek"
[ "$(readelf -d root/opt/tovrek/bin/tvkcombo | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')" = libc.so.6 ] ||
    fail "the launcher is not linked dynamically on the C library alone"
ln -sfn "$work/root/opt/tovrek/bin/tvkcombo" root/usr/bin/tvkcombo # into this copy
expect_root root/usr/bin/tvkcombo "$work/root/opt/tovrek"
expect_root tvkcombo "$work/root/opt/tovrek"
