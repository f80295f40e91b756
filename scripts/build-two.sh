# Sourced by scripts/compare-builds and scripts/bench-compare: Release builds
# of a given commit and of the current working tree, side by side.
#
#   build_rev REV TARGET...   builds commit REV in build-compare/<short rev>/
#                             (sources from git archive in src/, build in build/);
#                             sets ref_build and ref_label
#   build_tree TARGET...      builds the working tree in build-release/; sets new_build
#
# Both use Ninja, ccache when it is installed, nice and at most two jobs, and
# build only the targets named. A commit's sources are unpacked once; later
# runs reuse the folder and rebuild nothing.
#
# The stand-in host is built with its own image files
# (LINESTRA_IMAGE_IO=portable) rather than OpenImageIO: loading OpenImageIO's
# few hundred shared libraries costs about 0.4 s of processor time per run of
# linestra-render, more than rendering a small frame. The effect module is
# the same either way. (Commits before the portable back end ignore the
# option and build with OpenImageIO.)

: "${CCACHE_BASEDIR:=$(dirname "$PWD")}"
export CCACHE_BASEDIR

# configure_and_build SOURCE BUILD TARGET...
configure_and_build() {
  local src=$1 bin=$2
  shift 2
  local launcher=()
  if command -v ccache > /dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  mkdir -p "$bin"
  if ! nice -n 15 cmake -S "$src" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINESTRA_BUILD_TESTS=OFF \
       -DLINESTRA_IMAGE_IO=portable "${launcher[@]}" > "$bin/configure.log" 2>&1; then
    tail -n 30 "$bin/configure.log" >&2
    echo "configuring $src failed; see $bin/configure.log" >&2
    return 1
  fi
  if ! nice -n 15 cmake --build "$bin" -j 2 --target "$@" > "$bin/build.log" 2>&1; then
    grep -E -A5 "error|FAILED" "$bin/build.log" | head -n 40 >&2 || true
    echo "building $src failed; see $bin/build.log" >&2
    return 1
  fi
}

build_rev() {
  local rev=$1
  shift
  local full short dir
  full=$(git rev-parse --verify --quiet "$rev^{commit}") || { echo "unknown commit: $rev" >&2; return 1; }
  short=$(git rev-parse --short=7 "$full")
  dir=build-compare/$short
  if [[ ! -f $dir/rev || $(< "$dir/rev") != "$full" ]]; then
    echo "unpacking $short into $dir/src" >&2
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git archive "$full" | tar -x -C "$dir/src"
    echo "$full" > "$dir/rev"
  fi
  echo "building $short (Release) in $dir/build" >&2
  configure_and_build "$dir/src" "$dir/build" "$@"
  ref_build=$PWD/$dir/build
  ref_label=$short
}

build_tree() {
  echo "building the working tree (Release) in build-release" >&2
  configure_and_build . build-release "$@"
  new_build=$PWD/build-release
}
