# Debian 12 packages the project needs; sourced by the run and test scripts.
DZ_PACKAGES=(
  cmake ninja-build g++ pkg-config dpkg-dev file
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libxkbcommon-dev libqt6gui6 libjpeg62-turbo-dev
  libsqlite3-dev
  fonts-liberation fonts-dejavu-core qt6-wayland qt6-translations-l10n
)
DZ_TEST_PACKAGES=(
  xvfb x11-xkb-utils x11-apps xdotool imagemagick poppler-utils socat
  cups printer-driver-cups-pdf procps weston tzdata
)

# Installs whatever of the given packages is missing (apt-get update first).
dz_install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
