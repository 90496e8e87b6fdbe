# Sourced, from the top of the tree, by the scripts that build for the
# target outside CMake:
#
#   target_env     sets CC, AR, RANLIB, STRIP, CFLAGS, LDFLAGS, TARGET_TRIPLE,
#                  TARGET_SYSROOT and TARGET_EMULATOR exactly as the toolchain
#                  file (cmake/aarch64-linux-musl.cmake) gives them to CMake
#
# The values are taken as text from cmake/print-target-env.cmake's lines,
# never run as shell code: a path with quotes or `$(...)` in it, or a
# warning CMake prints, stays what it is.
target_env() {
  target_env_lines=$(cmake -P cmake/print-target-env.cmake) || return 1
  while IFS= read -r line; do
    value=${line#*=}
    case $line in
      "-- CC="*)              CC=$value ;;
      "-- AR="*)              AR=$value ;;
      "-- RANLIB="*)          RANLIB=$value ;;
      "-- STRIP="*)           STRIP=$value ;;
      "-- CFLAGS="*)          CFLAGS=$value ;;
      "-- LDFLAGS="*)         LDFLAGS=$value ;;
      "-- TARGET_TRIPLE="*)   TARGET_TRIPLE=$value ;;
      "-- TARGET_SYSROOT="*)  TARGET_SYSROOT=$value ;;
      "-- TARGET_EMULATOR="*) TARGET_EMULATOR=$value ;;
    esac
  done <<EOT
$target_env_lines
EOT
  [ -n "${CC:-}" ] && [ -n "${TARGET_SYSROOT:-}" ] || {
    echo "target-env: cmake/print-target-env.cmake named no compiler or sysroot" >&2
    return 1
  }
}
