#!/usr/bin/env bash
# Builds the Debian package taktovi_<version>_<arch>.deb in the project's top directory: the
# package tree (build/package: Release, prefix /usr, Debian's hardened build flags), CPack with
# the dependencies dpkg-shlibdeps finds in the programs, a check that the package holds exactly
# the install layout (tests/data/install_layout.txt), and lintian, whose errors fail the build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh package

eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
./scripts/build.sh package -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"

rm -f build/package/taktovi_*.deb
(cd build/package && cpack -G DEB >/dev/null)
deb=$(cd build/package && ls taktovi_*.deb)
rm -f taktovi_*.deb
mv "build/package/$deb" .

# Every file and link of the package, as the install checks list them.
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\.\//, ""); print }' |
  LC_ALL=C sort)
if ! diff -u tests/data/install_layout.txt <(echo "$contents"); then
  echo "$deb does not hold exactly the install layout (tests/data/install_layout.txt)" >&2
  exit 1
fi

# The newest changelog entry is this version's.
version=$(dpkg-deb -f "$deb" Version)
newest=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/taktovi/changelog.gz | zcat | head -n 1)
if [[ "$newest" != "taktovi ($version) "* ]]; then
  echo "dist/changelog has no entry for $version: $newest" >&2
  exit 1
fi

dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
echo "lintian:"
lintian --fail-on error "$deb"
echo "built $deb"
