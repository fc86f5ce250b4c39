#!/usr/bin/env bash
# make install's layout, in a fresh prefix: check-install.sh BUILD_DIR PREFIX [OBS_TEST]
# OBS_TEST, the OBS module's test program, is given where the build has the module: it then loads
# the installed module where libobs's own search looks and runs a part of its tests on it.
set -euo pipefail
build=$1
prefix=$2
obs_test=${3:-}
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

shotcut=share/shotcut/qml/filters/glimmerdusk
for file in bin/reelhost lib/frei0r-1/glimmerdusk.so share/kdenlive/effects/frei0r_glimmerdusk.xml \
            $shotcut/meta.qml $shotcut/ui.qml $shotcut/vui.qml $shotcut/region.js \
            lib/lumashift/lumashift.bundle/Contents/Info \
            "lib/lumashift/lumashift.bundle/Contents/$(uname -m)/lumashift.so" \
            lib/lumashift/lumashift.bundle/Contents/Resources/lumashift.rsrc; do
  [ -e "$prefix/$file" ] || { echo "make install left out $file"; exit 1; }
done
# The installed host runs on its installed libraries and finds the bundle beside itself.
info=$(LD_LIBRARY_PATH= "$prefix/bin/reelhost" info)
grep -qF "bundle:   $(realpath "$prefix")/lib/lumashift/lumashift.bundle" <<<"$info" ||
  { echo "the installed reelhost did not load the installed bundle:"; echo "$info"; exit 1; }
# Shotcut lists the filter for the service the installed plug-in provides.
grep -qF "mlt_service: 'frei0r.glimmerdusk'" "$prefix/$shotcut/meta.qml" ||
  { echo "the Shotcut filter folder does not name frei0r.glimmerdusk"; exit 1; }

# The OBS module: libobs finds it under the prefix as it finds OBS's own modules, lists the filter
# and renders it. Under AddressSanitizer leaks are not counted here: Mesa leaves bytes behind at
# exit that no suppression can name (tests/CMakeLists.txt says more).
if [ -n "$obs_test" ]; then
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 LUMASHIFT_OBS_INSTALL_PREFIX=$prefix \
    "$obs_test" \
    --gtest_filter='ObsModule.*:Sources/ObsFilterPixels.*/*_CentreRegion' --gtest_brief=1 ||
    { echo "the installed OBS module did not load or render as built"; exit 1; }
fi
