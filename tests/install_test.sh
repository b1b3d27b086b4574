#!/usr/bin/env bash
# The launcher as users get it: the tree `cmake --install` stages under DESTDIR from a build directory (umask 077), the
# .deb or .rpm unpacked into a temporary root, or the system it is installed on (/: debian/tests). Each finds its tree
# through its own resolved path, and every user can enter and read the tree. Usage: install_test.sh <source dir> <from>
set -euo pipefail
version=$(sed -n 's/^project(tvkcombo VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt")
from=$(realpath "$2") work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT && cd "$work" && mkdir -m 700 home root
export HOME=$work/home PATH=$work/root/usr/bin:$PATH LC_ALL=C && unset TOVREK_ROOT
fail() { echo "FAIL: $*" && exit 1; }
expect_root() { # <launcher> <tree>: found from the launcher's own path, of the source's version, lib/ included, for all
    "$1" -i | grep -xF "Root Directory = $2 from computed realpath()" >/dev/null || fail "$1 -i does not name $2"
    "$1" --version | grep -xF "TOVREK tvkcombo     $version" >/dev/null || fail "$1 --version does not report $version and exit 0"
    [ -d "$2/lib" ] && [ -z "$(find "$2" -type d ! -perm 755 -o -type f ! -perm 644 ! -perm 755)" ] || fail "$2: modes, lib/"
}
if [ -f "$from/CMakeCache.txt" ]; then
    prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$from/CMakeCache.txt")
    (umask 077 && DESTDIR=$work/dest cmake --install "$from" >/dev/null)
    expect_root "dest$prefix/bin/tvkcombo" "$work/dest$prefix" && exit
fi
case $from in *.deb) dpkg-deb -x "$from" root ;; *.rpm) rpm2cpio "$from" | cpio -idm --quiet -D root ;; *) rmdir root && ln -s "$from" root ;; esac
tree=$(realpath root/opt/tovrek) link=$(readlink root/usr/bin/tvkcombo) # absolute in the .deb, relative in the .rpm
[ "${link#../..}" = /opt/tovrek/bin/tvkcombo ] || fail "usr/bin/tvkcombo is no link into /opt/tovrek"
[ "$(readelf -d "$tree/bin/tvkcombo" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')" = libc.so.6 ] ||
    fail "the launcher is not linked dynamically on the C library alone"
[ -L root ] || ln -sfn "$tree/bin/tvkcombo" root/usr/bin/tvkcombo # into this copy
expect_root root/usr/bin/tvkcombo "$tree"
expect_root tvkcombo "$tree"
