#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
set -eu
here=$(dirname "$0")
missing=""
for package in $(cat "$here/packages.txt"); do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $package" ;;
  esac
done
[ -z "$missing" ] && exit 0
echo "Installing missing packages:$missing"
if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "Please install as root: apt-get install$missing" >&2
  exit 1
fi
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y $missing
