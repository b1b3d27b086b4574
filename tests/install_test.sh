#!/usr/bin/env bash
# The launcher as users get it: the tree `cmake --install` stages under DESTDIR, and the Debian
# package unpacked into a temporary root. Each finds its tree through its own resolved path.
# Usage: install_test.sh <build dir> <source dir> [package.deb]; status 77: skipped.
set -euo pipefail
build=$(realpath "$1") deb=${3:+$(realpath "$3")} work=$(realpath "$(mktemp -d)")
version=$(sed -n 's/^project(tvkcombo VERSION \([0-9.]*\).*/\1/p' "$2/CMakeLists.txt")
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing (Debian package dpkg)"; exit 77; }
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir -m 700 home
export HOME=$work/home PATH=$work/root/usr/bin:$PATH LC_ALL=C && unset TOVREK_ROOT
fail() { echo "FAIL: $*" && exit 1; }
expect_root() { # <launcher> <tree>: found from the launcher's own path, and of the source's version
    "$1" -i | grep -qxF "Root Directory = $2 from computed realpath()" || fail "$1 -i does not name $2"
    { "$1" -v || true; } | grep -qxF "TOVREK tvkcombo     $version" || fail "$1 -v does not report $version"
}
DESTDIR=$work/dest cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
expect_root "dest$prefix/bin/tvkcombo" "$work/dest$prefix"
# Ninja has no preinstall target, so cpack packages what is built instead of building the tests again.
[ -n "$deb" ] || cpack -G DEB --config "$build/CPackConfig.cmake" -B package -D CPACK_CMAKE_GENERATOR=Ninja >cpack.log 2>&1 ||
    fail "cpack: $(cat cpack.log)"
deb=${deb:-$(echo "$work"/package/*.deb)}
dpkg-deb -x "$deb" root
[ -z "$(find root -type d -empty)" ] || fail "empty directories: $(find root -type d -empty)"
[ "$(readlink root/usr/bin/tvkcombo)" = /opt/tovrek/bin/tvkcombo ] || fail "usr/bin/tvkcombo is no link into /opt/tovrek"
ln -sfn "$work/root/opt/tovrek/bin/tvkcombo" root/usr/bin/tvkcombo # into this copy
expect_root root/usr/bin/tvkcombo "$work/root/opt/tovrek"
expect_root tvkcombo "$work/root/opt/tovrek"
