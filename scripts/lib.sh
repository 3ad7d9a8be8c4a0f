# Shared by the scripts here (run, test, package, install-linux). Source it; do not run it.

TV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# What the program needs to run under Wine: wine64 only recommends the
# "wine" command and the font tools, so they are named here too.
TV_RUN_PACKAGES="wine wine64 python3 fonts-wqy-microhei fontconfig"
# What building the two programs needs besides (the -posix compilers:
# see cmake/mingw-common.cmake).
TV_BUILD_PACKAGES="cmake ninja-build g++-mingw-w64-x86-64-posix"
# Everything the tests, the 32-bit build, the fuzz targets (clang's
# libFuzzer and sanitizer runtimes) and the release packages need too.
TV_PACKAGES="$TV_RUN_PACKAGES $TV_BUILD_PACKAGES gcc g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest
  xvfb xdotool socat imagemagick python3-pytest procps util-linux locales clang libclang-rt-14-dev lintian"

# A command for root, as this machine runs it: "with: sudo CMD" where sudo
# is installed, otherwise "as root: CMD".
tv_as_root() {
  if command -v sudo >/dev/null; then
    echo "with: sudo $*"
  else
    echo "as root: $*"
  fi
}

# Installs the Debian packages that are missing, from $TV_PACKAGES or the
# list given. Without root it only says what to install, and fails.
tv_ensure_packages() {
  local missing=()
  local p
  for p in ${1:-$TV_PACKAGES}; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them $(tv_as_root apt-get install "${missing[*]}")" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Wine takes the ANSI code page (936) from the zh_CN.UTF-8 locale and gets
# it without the locale being generated; generated (when we are root), the
# Unix side of Wine also reads and writes Chinese file names as UTF-8.
tv_ensure_locale() {
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return 0
  if [ "$(id -u)" = 0 ] && [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null; then
    sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
  fi
}

tv_build() {
  local preset
  for preset in "$@"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  done
}

# The program and the port bridge's Windows half alone, 64-bit, in a build
# folder of their own (without the tests there is no GoogleTest to find, and
# the presets' folders keep theirs). Prints the folder on stdout.
tv_build_programs() {
  local dir="$TV_ROOT/build/programs-x64"
  cmake -S "$TV_ROOT" -B "$dir" -G Ninja --toolchain "$TV_ROOT/cmake/mingw-x64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTV_BUILD_TESTS=OFF >/dev/null &&
    cmake --build "$dir" --target TarnVik TarnVikBridge >&2 &&
    echo "$dir"
}

# Lays out Tarn#Vik for Linux under the prefix $2, inside the root $1 ("" for
# this system, or a package's staging folder), with the programs from the
# build folder $3 and the version $4:
#   <prefix>/bin/tarnvik                      the launcher (src/linux/tarnvik)
#   <prefix>/lib/tarnvik/                     the programs, the port bridge
#   <prefix>/share/applications/tarnvik.desktop
#   <prefix>/share/icons/hicolor/<n>x<n>/apps/tarnvik.png
#   <prefix>/share/man/man1/tarnvik.1.gz
tv_install_linux() {
  local root="$1" prefix="$2" build="$3" version="$4"
  local dest="$root$prefix" linux="$TV_ROOT/src/linux" icon size
  install -d "$dest/bin" "$dest/lib/tarnvik" "$dest/share/applications" "$dest/share/man/man1" || return 1
  install -m 644 "$build/TarnVik.exe" "$build/TarnVikBridge.exe" "$dest/lib/tarnvik/" || return 1
  install -m 644 "$linux/tarnvik_bridge.py" "$linux/tarnvik_desktop.py" "$dest/lib/tarnvik/" || return 1
  sed "s|@VERSION@|$version|" "$linux/tarnvik" >"$dest/bin/tarnvik" && chmod 755 "$dest/bin/tarnvik" || return 1
  icon="$(mktemp)"
  size="$(python3 "$TV_ROOT/scripts/icon_png.py" "$TV_ROOT/src/resources/TarnVik.ico" "$icon")" &&
    install -D -m 644 "$icon" "$dest/share/icons/hicolor/${size}x${size}/apps/tarnvik.png"
  local rc=$?
  rm -f "$icon"
  [ $rc = 0 ] || return 1
  sed -e "s|@ICON@|$prefix/share/icons/hicolor/${size}x${size}/apps/tarnvik.png|" \
    -e "s|@BIN@|$prefix/bin/tarnvik|" "$linux/tarnvik.desktop" >"$dest/share/applications/tarnvik.desktop" &&
    chmod 644 "$dest/share/applications/tarnvik.desktop" || return 1
  sed "s|@VERSION@|$version|" "$linux/tarnvik.1" | gzip -9n >"$dest/share/man/man1/tarnvik.1.gz" &&
    chmod 644 "$dest/share/man/man1/tarnvik.1.gz"
}

# The CMake project version, as the configured build directory $1 has it.
tv_project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# A quiet Wine environment for the prefix $1. The Chinese code page is
# not part of it: see tv_wine.
tv_wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Runs a Wine command (wine, wineboot, wineserver) with the Chinese ANSI
# code page (936). Only Wine gets LC_ALL: exported into the shell, an
# ungenerated zh_CN.UTF-8 makes bash (at the export and in every script
# started from it) and perl (lintian) warn that the locale cannot be set.
# To start one in the background with its own pid, write the env out.
TV_WINE_LOCALE=zh_CN.UTF-8
tv_wine() {
  env LC_ALL="$TV_WINE_LOCALE" "$@"
}

# Starts the prefix's wineserver with its output detached, so later wine
# calls whose output we capture do not hang on processes holding the pipe.
tv_wine_start() {
  mkdir -p "$WINEPREFIX"
  (tv_wine wineserver -f -p >/dev/null 2>&1 &)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    tv_wine wineboot -i >/dev/null 2>&1
  fi
  tv_wine wine cmd /c exit >/dev/null 2>&1 || true
}

tv_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

# Starts Xvfb on a free display and exports DISPLAY; sets TV_XVFB_PID.
tv_start_xvfb() {
  local n=70
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  TV_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}
