#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the tools need and is not
# there yet. Safe to run again: packages already installed are left alone and nothing is fetched.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build make pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
  # the toolkit's own dialogs and buttons in Chinese
  qt6-translations-l10n
  zlib1g-dev libdeflate-dev libcrypt-dev libsodium-dev
  # the Sun's and the Moon's places for the solar terms and the lunar months (the IAU's SOFA
  # routines as ERFA)
  liberfa-dev
  # the YAML of RedNotebook's month files, for the import
  libyaml-dev
  # fonts, so Chinese text renders on a fresh machine
  fonts-wqy-microhei
  # the CJK font whose radicals share the ideographs' glyphs, for the PDF text tests
  fonts-noto-cjk
  # fonts with characters beyond U+FFFF (an emoji, the ideographs of extension B), for the same
  fonts-dejavu-core fonts-hanazono
  # tests and their real peers
  libgtest-dev libgmock-dev xvfb xauth zip unzip 7zip python3 perl unrtf poppler-utils
  # LibreOffice, headless, which opens the ODF exports
  libreoffice-writer-nogui
  # the Markdown renderer that reads the exports
  python3-markdown
  # the independent reader of the private format (for /usr/bin/python3)
  python3-nacl
  # the independent almanac of the solar terms (for /usr/bin/python3), and ICU's Chinese
  # calendar, which the lunar dates are held against
  python3-ephem libicu-dev
  # a private session bus for the notification tests
  dbus
  # a real synchronisation between two instances on loopback, for the conflict-copy test
  syncthing
  # fuzzing and sanitizers
  clang libclang-rt-dev
  # desktop integration checks
  desktop-file-utils appstream
  # benchmarks
  hyperfine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this script as root (or install them with apt-get) and try again." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
