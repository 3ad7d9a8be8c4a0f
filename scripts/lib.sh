# Shared by scripts/run and scripts/test. Source it; do not run it.

TV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# wine64 only recommends the "wine" command and the font tools, so they are
# named here too; the fuzz targets need clang's libFuzzer and sanitizer
# runtimes.
TV_PACKAGES="cmake ninja-build gcc g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64 xvfb
  xdotool socat imagemagick fonts-wqy-microhei fontconfig python3 python3-pytest procps util-linux locales
  clang libclang-rt-14-dev"

# Installs the Debian packages that are missing (needs root on a fresh machine).
tv_ensure_packages() {
  local missing=()
  local p
  for p in $TV_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# Wine takes the ANSI code page (936) from the zh_CN.UTF-8 locale; Wine
# does without the generated locale, the shell tools around it complain.
# Generated when we are root.
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

# The CMake project version, as the configured build directory $1 has it.
tv_project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# A quiet Wine environment with the Chinese ANSI code page (936).
tv_wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=zh_CN.UTF-8
}

# Starts the prefix's wineserver with its output detached, so later wine
# calls whose output we capture do not hang on processes holding the pipe.
tv_wine_start() {
  mkdir -p "$WINEPREFIX"
  (wineserver -f -p >/dev/null 2>&1 &)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
  fi
  wine cmd /c exit >/dev/null 2>&1 || true
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
