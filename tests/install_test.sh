#!/usr/bin/env bash
# The launcher as users get it: the tree that `cmake --install` stages under
# DESTDIR, and the Debian package unpacked into a temporary root. Each must
# find its own tree through its resolved path and report the source's version.
# Usage: install_test.sh <build dir> <source dir> [package.deb]; 77 = skipped.
set -euo pipefail
build=$(realpath "$1") deb=${3:+$(realpath "$3")}
version=$(sed -n 's/^project(tvkcombo VERSION \([0-9.]*\).*/\1/p' "$2/CMakeLists.txt")
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing (Debian package dpkg)"; exit 77; }
work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME=$work/home PATH=$work/root/usr/bin:$PATH LC_ALL=C
unset TOVREK_ROOT
mkdir -m 700 home

fail() { echo "FAIL: $*"; exit 1; }
# expect_root <launcher> <tree>: -i succeeds and names the tree, found from the
# launcher's own resolved path; -v names the version.
expect_root() {
    local info
    info=$("$1" -i) || fail "$1 -i exited with $?"
    grep -qxF "Root Directory = $2 from computed realpath()" <<<"$info" || fail "$1 -i: $info"
    { "$1" -v || true; } | grep -qxF "TOVREK tvkcombo     $version" || fail "$1 -v does not report $version"
}

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$work/dest cmake --install "$build" >/dev/null
expect_root "dest$prefix/bin/tvkcombo" "$work/dest$prefix"

# CPack would first build the whole build tree, this test's own targets
# included; a generator without a preinstall target makes it package what is built.
if [ -z "$deb" ]; then
    cpack -G DEB --config "$build/CPackConfig.cmake" -B package -D CPACK_CMAKE_GENERATOR=Ninja \
        >cpack.log 2>&1 || fail "cpack: $(cat cpack.log)"
    deb=$(echo "$work"/package/*.deb)
fi
[[ $(dpkg-deb -f "$deb" Version) == "$version"-* ]] || fail "package version is not $version-*"
dpkg-deb -x "$deb" root
[ -z "$(find root -type d -empty)" ] || fail "empty directories: $(find root -type d -empty)"
# The packaged link is absolute, into /opt; here it must point into the copy.
[ "$(readlink root/usr/bin/tvkcombo)" = /opt/tovrek/bin/tvkcombo ] || fail "usr/bin/tvkcombo link"
ln -sfn "$work/root/opt/tovrek/bin/tvkcombo" root/usr/bin/tvkcombo
expect_root root/usr/bin/tvkcombo "$work/root/opt/tovrek"
expect_root tvkcombo "$work/root/opt/tovrek"
echo "install tree and package: ok"
