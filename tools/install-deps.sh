#!/usr/bin/env bash
# Installs the Debian packages listed in debian-packages.txt that are missing.
# Run it as root once (sudo tools/install-deps.sh), then make and make test as an
# ordinary user. As any user it does nothing when everything is present; as an ordinary
# user with packages missing it names them and that command, and fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$here/debian-packages.txt")

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "missing Debian packages: ${missing[*]}" >&2
    echo "install them with 'sudo tools/install-deps.sh', then run make and make test as yourself" >&2
    exit 1
fi
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
