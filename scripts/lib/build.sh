# Shared by scripts/test and scripts/demo (sourced): configure and build one
# flavour of the project, and make the module importable from the .venv.
#   build_project release|asan [cmake --build arguments...]
#   use_build_from_venv DIR     the .venv imports the module straight from DIR

build_project() {
  local flavour=$1
  shift
  local py="$root/.venv/bin/python"
  local dir="$root/build/$flavour"
  local args=(-G Ninja -DPython_EXECUTABLE="$py")
  if [ "$flavour" = asan ]; then
    args+=(-DCMAKE_BUILD_TYPE=Debug -DREVIZER_SANITIZE=ON -DREVIZER_BUILD_BENCH=OFF)
  else
    args+=(-DCMAKE_BUILD_TYPE=Release)
  fi
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null && cmake --build "$dir" "$@"
}

use_build_from_venv() {
  local site
  site=$("$root/.venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
  echo "$1/python_pkg" > "$site/tavimor_revizer_client_build.pth"
}
