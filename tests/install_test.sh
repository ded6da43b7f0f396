#!/usr/bin/env bash
# Installs into a temporary prefix and runs the installed programs from
# there: each one's usage line, a whole pipeline (NIfTI file, image pair,
# seed, picture), and each man page through groff with every warning on.
#   install_test.sh BUILD_DIR PHANTOM
set -euo pipefail
build=$1
phantom=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/quorral-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
bin=$prefix/bin
for p in quorral nii2im seedpng; do
    [ -x "$bin/$p" ] || fail "$p not installed"
    set +e
    out=$("$bin/$p")
    st=$?
    set -e
    [ $st -eq 1 ] || fail "$p without arguments: status $st"
    case "$out" in " usage: $p "*) ;; *) fail "$p usage line: $out" ;; esac
done

cd "$prefix"
ch2=/usr/share/mricron/templates/ch2.nii.gz
[ -f "$ch2" ] || fail "$ch2 missing: apt-get install mricron-data"
"$bin/nii2im" "$ch2" ch2 >out.txt || fail "nii2im: $(cat out.txt)"
"$bin/quorral" ch2 l seed >out.txt || fail "quorral: $(cat out.txt)"
grep -q '^.*quorral: seed found at x=98  y=106  z=85  meas=0.554955$' out.txt || fail "quorral: $(cat out.txt)"
"$bin/seedpng" ch2 seed seed.png >out.txt || fail "seedpng: $(cat out.txt)"
[ -s seed.png ] || fail "no picture"
"$phantom" head 64 64 32
"$phantom" -m mask 64 64 32
"$bin/quorral" head mask r seed2 >out.txt || fail "quorral with a mask: $(cat out.txt)"

for p in quorral nii2im seedpng; do
    page=$prefix/share/man/man1/$p.1
    [ -f "$page" ] || fail "no man page for $p"
    warn=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warn" ] || fail "man page $p: $warn"
    MANWIDTH=80 man -l "$page" >/dev/null 2>man.err || fail "man -l $p: $(cat man.err)"
    [ ! -s man.err ] || fail "man -l $p: $(cat man.err)"
done
echo "installed programs and man pages: ok"
