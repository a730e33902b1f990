# Shared by scripts/run and scripts/test: installs what the build and the Wine tests
# need (quick when everything is there) and builds the requested presets.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian's Python, which sees the Python packages installed with apt (a python3 earlier
# on the PATH, from pyenv say, would not).
python=/usr/bin/python3

packages=(
  cmake ninja-build g++ libgtest-dev python3 python3-pefile python3-psutil python3-xvfbwrapper zip
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xdotool x11-utils imagemagick tesseract-ocr
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Whether the kernel runs 32-bit x86 programs, which 32-bit Wine needs: a 32-bit ELF
# of 93 bytes that does nothing but exit 0 tells.
runs_32bit() {
  local elf
  elf=$(mktemp)
  python3 - "$elf" <<'PY'
import os, struct, sys
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # exit(0) through int 0x80
base, size = 0x08048000, 52 + 32 + 9
header = b"\x7fELF\x01\x01\x01" + bytes(9) + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<8I", 1, 0, base, base, size, size, 5, 0x1000)
with open(sys.argv[1], "wb") as out:
    out.write(header + segment + code)
os.chmod(sys.argv[1], 0o755)
PY
  local status=0
  "$elf" 2>/dev/null || status=$?
  rm -f "$elf"
  return "$status"
}

install_packages() {
  local missing=()
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
  done
  local i386=()
  # The product is the 32-bit exe; where the kernel allows, it runs under 32-bit Wine.
  if runs_32bit && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
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
