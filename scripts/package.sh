#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package: a Release build in build-package/ with Debian's
# hardening flags, `cpack -G DEB`, then lintian on the package. Prints the
# path of the .deb; install it with `sudo apt install ./<that path>`.
# Exits non-zero when the build fails or lintian reports an error.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# dpkg-shlibdeps (dpkg-dev) and file work out the package's dependencies.
TIPSARA_EXTRA_PACKAGES="dpkg-dev file lintian ${TIPSARA_EXTRA_PACKAGES:-}" \
  bash scripts/setup.sh --packages-only

# The flags Debian builds its own packages with (read only when build-package/
# is configured the first time).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "${launcher[@]}"
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB)

deb=$(ls -t build-package/tipsara_*.deb | head -n 1)
echo "lintian $deb"
# Errors fail the script; warnings and notes are printed.
lintian --fail-on error --info "$deb"
echo "Package: $(realpath "$deb")"
