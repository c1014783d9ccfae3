# Shared by the run and test commands: the packages and the configure-and-build step.
BUILD_PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libusb-1.0-0-dev python3 qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core desktop-file-utils dpkg-dev valgrind umockdev libumockdev-dev locales libsqlite3-dev libpq-dev libxml2-dev libxml2-utils libxmlsec1-dev xmlsec1 openssl libpam0g-dev libpam-wrapper postgresql poppler-utils fonts-wqy-microhei xvfb openbox)
JOBS=${JOBS:-2}

# build_tree DIR [cmake options...]
build_tree() {
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$JOBS"
}
