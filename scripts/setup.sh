# Shared by the set-up scripts: install what the build needs, then configure
# and build a tree. Sourced, not run.

NYX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
NYX_PACKAGES=(cmake g++ make ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev nlohmann-json3-dev libcli11-dev libasio-dev libcpp-httplib-dev)

# Install the Debian packages that are missing (as root, or through sudo).
nyx_install() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; return 1; }
    sudo="sudo"
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# nyx_build DIR [cmake options...]: configure (once) and build the tree in DIR.
nyx_build() {
  local dir="$1"; shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$NYX_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null || return 1
  fi
  cmake --build "$dir" -j "$(nproc)"
}
