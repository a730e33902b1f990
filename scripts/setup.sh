# Shared by the scripts: installs what the build and the Wine tests need, or what one
# script needs (quick when everything is there), and builds the requested presets.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian's Python, which sees the Python packages installed with apt (a python3 earlier
# on the PATH, from pyenv say, would not).
python=/usr/bin/python3

packages=(
  cmake ninja-build g++ libgtest-dev python3 python3-pefile python3-psutil python3-xvfbwrapper zip
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xdotool x11-utils imagemagick tesseract-ocr
  wixl msitools python3-olefile python3-yaml osslsigncode openssl unzip git
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Whether the kernel runs 32-bit x86 programs, which 32-bit Wine needs: a 93-byte i386
# ELF whose code is exit(0) through int 0x80 tells. It is written into the build folder,
# not /tmp, which may be mounted noexec.
runs_32bit() {
  local elf="$repo_root/build/runs-32bit" status=0
  mkdir -p "$repo_root/build"
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$elf"
  chmod +x "$elf"
  "$elf" 2>/dev/null || status=$?
  rm -f "$elf"
  return "$status"
}

# install_packages [PACKAGE...]: the packages named, or everything the build and the
# tests need (with 32-bit Wine where the kernel runs it).
install_packages() {
  local missing=() wanted=("$@")
  [ $# -gt 0 ] || wanted=("${packages[@]}")
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
  done
  local i386=()
  # The product is the 32-bit exe; where the kernel allows, it runs under 32-bit Wine.
  if [ $# -eq 0 ] && runs_32bit && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
    missing+=(wine32:i386)
    dpkg --print-foreign-architectures | grep -qx i386 || i386=(dpkg --add-architecture i386)
  fi
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  [ ${#i386[@]} -eq 0 ] || "${sudo[@]}" "${i386[@]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_presets() {
  cd "$repo_root"
  for preset in "$@"; do
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  done
}
