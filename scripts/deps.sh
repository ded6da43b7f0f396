#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when
# they are missing.  Usage: scripts/deps.sh [package ...] (default: the
# build and test set).
set -euo pipefail
pkgs=("$@")
if [ ${#pkgs[@]} -eq 0 ]; then
    pkgs=(cmake make g++ libgtest-dev libpng-dev libnifti2-dev zlib1g-dev clang libclang-rt-14-dev
        groff-base man-db invesalius-examples mricron-data chromium
        slurmctld slurmd slurm-client munge dcm2niix snakemake python3-pydicom python3-nibabel python3-numpy)
    # The report's browser tests drive chromium from node; a node and npm
    # already on the machine serve, else Debian's.
    command -v node >/dev/null && command -v npm >/dev/null || pkgs+=(nodejs npm)
fi
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
