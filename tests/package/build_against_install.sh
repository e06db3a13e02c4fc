#!/usr/bin/env bash
# Installs the library from a build folder into a fresh prefix, checks that
# every installed header includes only installed headers, then builds the
# outside example against the package twice (CMake's find_package and
# pkg-config) and runs each build headless for a few frames.
#   build_against_install.sh BUILD_FOLDER EXAMPLE_FOLDER PICTURE
set -euo pipefail
build=$1
example=$2
picture=$3
work=$(mktemp -d /tmp/tessel_package_XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
includes=$prefix/include/tessel

missing=0
while IFS= read -r header; do
  while IFS= read -r included; do
    if [ ! -f "$includes/$included" ]; then
      echo "${header#$includes/} includes $included, which is not installed"
      missing=1
    fi
  done < <(sed -n 's/^#include "\(.*\)"/\1/p' "$header")
done < <(find "$includes" -name '*.h')
[ "$missing" -eq 0 ]

cmake -S "$example" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > "$work/configure.log"
cmake --build "$work/cmake" > "$work/build.log"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
g++ -std=c++20 -o "$work/hello_pc" "$example/hello_picture.cpp" \
  $(pkg-config --cflags --libs tessel)

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy TESSEL_INSTANCE_NAMESPACE="package-$$"
cp "$picture" "$work/picture.png"
cd "$work"
for program in "$work/cmake/hello_picture" "$work/hello_pc"; do
  out=$("$program" picture.png 5)
  [ "$out" = "5 frames" ] || { echo "$program printed: $out"; exit 1; }
done
echo "the package builds and runs outside the tree"
