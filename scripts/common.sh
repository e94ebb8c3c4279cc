# Shared by run.sh and test.sh: installs the Debian packages the build needs (only the
# missing ones), then configures and builds one build folder.

tessaro_packages=(
  cmake ninja-build g++
  qt6-base-dev qt6-serialport-dev libqcustomplot-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev ccache
  libmosquitto-dev mosquitto mosquitto-clients pkg-config
)

# Compiler cache: a rebuild in another clone or work tree of the same sources reuses the
# objects already compiled on this machine. Paths below the repository are hashed relative to
# it, so clones in different folders share the cache.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1

ensure_packages() {
  local missing=()
  for p in "${tessaro_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build <build dir> [cmake options...]
configure_and_build() {
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}
