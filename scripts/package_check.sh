#!/usr/bin/env bash
# Builds the Debian package from a build folder that holds every program,
# unpacks it into a scratch root (no installation, no root rights, no
# network) and runs the programs from there: durva --help, then a scheduled
# read-out of a sample office whose register, the installed simulator, has
# sold two goods. Fails on the first thing that is not as it should be.
#
#   bash scripts/package_check.sh [BUILD_FOLDER]   (default: build-test)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(cd "${1:-build-test}" && pwd)"

SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
fail() { echo "package_check: $*" >&2; exit 1; }

(cd "$BUILD" && cpack -G DEB -B "$SCRATCH/out" >"$SCRATCH/cpack.log" 2>&1) || { cat "$SCRATCH/cpack.log"; fail "cpack failed"; }
debs=("$SCRATCH"/out/durva_*.deb)
[ -f "${debs[0]}" ] || fail "no package in $SCRATCH/out"
deb="${debs[0]}"
echo "package_check: $(basename "$deb")"

depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libncursesw6 libcairo2 libcups2 fonts-dejavu-core; do
  [[ ",$depends," =~ [,\ ]$lib[\ ,\(] ]] || fail "Depends does not name $lib: $depends"
done

ROOT="$SCRATCH/root"
dpkg -x "$deb" "$ROOT"
for f in usr/bin/durva usr/bin/dbtool usr/bin/durvaedit usr/libexec/durva/durvadrv.exe; do
  [ -x "$ROOT/$f" ] || fail "$f is not in the package or not executable"
done
for f in usr/share/man/man1/durva.1.gz usr/lib/systemd/system/durva-odczyt@.service \
  usr/lib/systemd/system/durva-odczyt@.timer usr/share/doc/durva/README.md; do
  [ -f "$ROOT/$f" ] || fail "$f is not in the package"
done
grep -qx 'ExecStart=/usr/bin/durva --odczyt %i' "$ROOT/usr/lib/systemd/system/durva-odczyt@.service" ||
  fail "the service does not start /usr/bin/durva"
# The manual page is read through without a warning of the formatter.
if command -v groff >/dev/null; then
  warnings="$(gzip -dc "$ROOT/usr/share/man/man1/durva.1.gz" | groff -man -Tutf8 -ww -z 2>&1)"
  [ -z "$warnings" ] || fail "the manual page: $warnings"
fi

"$ROOT/usr/bin/durva" --help >"$SCRATCH/help.txt" || fail "durva --help ended with status $?"
grep -q -- '--odczyt NR' "$SCRATCH/help.txt" || fail "durva --help does not describe --odczyt"

# A sample office with the installed simulator in it, as its driver.
OFFICE="$SCRATCH/biuro"
"$BUILD/durvademo" --seed 1 "$OFFICE" >/dev/null
ln -s "$ROOT/usr/libexec/durva/durvadrv.exe" "$OFFICE/durvadrv.exe"
mkdir -p "$OFFICE/durva"
cd "$OFFICE"
# Two goods of the sample reach register 1, as a send would leave them, and are sold.
printf 'S;I;1; ; ;\r\n%s\r\n%s\r\n' 'I;1;5901234123457;CUKIER BIALY      ;399;C;3;11100;01;00;;' \
  'I;1;0012345678905;KAWA MIELONA      ;1699;A;3;11100;01;00;;' >durva/data_in.txt
./durvadrv.exe dp=durva if=data_in.txt cp=1 cs=9600 >/dev/null || fail "the installed simulator refused the goods"
./durvadrv.exe dp=durva cp=1 sell=5901234123457*2,0012345678905*1 >/dev/null ||
  fail "the installed simulator refused the sales"
cd - >/dev/null

status=0
line="$(env -u DURVA_STEROWNIK "$ROOT/usr/bin/durva" --odczyt 1 --folder "$OFFICE")" || status=$?
echo "package_check: durva --odczyt 1: $line"
[ "$status" -eq 0 ] || fail "the scheduled read-out ended with status $status"
[[ "$line" == "kasa 01: zaksiegowano SD "*" na kwote 24.97, wierszy 2, bez towaru 0" ]] ||
  fail "the scheduled read-out did not book both sales"
echo "package_check: the package installs and runs"
