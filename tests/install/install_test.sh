#!/usr/bin/env bash
# Installs the build into a staging directory under /usr, checks what lands there and
# that the programs run from there on the right driver library, then builds the
# Debian package and has lintian judge it.
# Arguments: the build directory, the project's version, the library directory, the
# built real driver library and the built stand-in.
set -euo pipefail
build=$1 version=$2 libdir=$3 real=$4 standin=$5
work=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "install test: $*" >&2
    exit 1
}

stage=$work/stage
root=$stage/usr
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null

# What installs, and where.
apps=$root/share/applications
metainfo=$root/share/metainfo/example.zovak.ox_krv5316.metainfo.xml
for file in bin/ox_krv5316 bin/krv5316-check bin/ox_krv5316-sim sbin/ox9162-udev-rule \
    share/ox_krv5316/ox9162.conf share/man/man1/krv5316-check.1.gz \
    share/man/man1/ox_krv5316.1.gz share/man/man1/ox_krv5316-sim.1.gz \
    share/man/man8/ox9162-udev-rule.8.gz share/doc/ox-krv5316/README.md \
    share/doc/ox-krv5316/docs/simulated-cards.md \
    share/doc/ox-krv5316/copyright; do
    [ -e "$root/$file" ] || fail "$file is not installed"
done
for size in 32 48 64 128; do
    icon=$root/share/icons/hicolor/${size}x$size/apps/ox_krv5316.png
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size-pixel icon"
done
# The real library where the loader looks, the stand-in only in its private directory.
cmp -s "$root/$libdir/libzovak_ox9162.so" "$real" ||
    fail "the library directory does not hold the real driver library"
cmp -s "$root/$libdir/ox_krv5316/sim/libzovak_ox9162.so" "$standin" ||
    fail "the stand-in is not in its private directory"
[ "$(find "$stage" -name libzovak_ox9162.so | wc -l)" -eq 2 ] || fail "a third copy of the library"

desktop-file-validate "$apps/example.zovak.ox_krv5316.desktop" \
    "$apps/example.zovak.ox_krv5316-sim.desktop" || fail "desktop entries do not validate"
grep -qx 'Name=OX_KRV5316 (simulované karty)' "$apps/example.zovak.ox_krv5316-sim.desktop" ||
    fail "the simulated cards' entry lacks its Czech name"
appstreamcli validate --no-net "$metainfo" >"$work/appstream" ||
    { cat "$work/appstream" >&2; fail "metainfo does not validate"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo does not carry $version"

# No build-tree path survives: the programs rely on the ordinary library path.
while read -r elf; do
    if readelf -d "$elf" | grep -Eq 'RPATH|RUNPATH'; then fail "${elf#"$stage"} keeps a RUNPATH"; fi
done < <(find "$stage" -type f -exec sh -c 'file -b "$1" | grep -q ^ELF' _ {} \; -print)
for program in ox_krv5316 krv5316-check; do
    resolved=$(LD_LIBRARY_PATH=$root/$libdir ldd "$root/bin/$program" | grep libzovak_ox9162.so)
    [[ $resolved == *"=> $root/$libdir/libzovak_ox9162.so "* ]] ||
        fail "$program resolves the driver library as: $resolved"
done
# Running on the real library, the check reports its configuration's absence.
if LD_LIBRARY_PATH=$root/$libdir OX9162_CONFIG=$work/none.conf \
    "$root/bin/krv5316-check" >/dev/null 2>"$work/check.err"; then
    fail "krv5316-check passed without any card"
fi
grep -q "$work/none.conf" "$work/check.err" || fail "the real library did not name its configuration"

# The maintainer scripts as dpkg runs them without chroot (DPKG_ROOT) on the staged tree,
# with the installer's OX9162_CONFIG naming another file, which they must not use.
etc=$stage/etc
rule=$etc/udev/rules.d/60-ox9162.rules
mkdir -p "$etc"
echo 'ox9162:x:999:' >"$etc/group"
echo 'vendor 0x1234' >"$work/elsewhere.conf"
maint() {
    DPKG_ROOT=$stage OX9162_CONFIG=$work/elsewhere.conf sh "$build/packaging/debian/$1" "$2" \
        2>"$work/maint.err" || fail "$1 $2 failed: $(cat "$work/maint.err")"
}
maint postinst configure
cmp -s "$etc/ox9162.conf" "$root/share/ox_krv5316/ox9162.conf" || fail "no configuration template"
[ ! -e "$rule" ] && grep -q 'no "vendor 0xHHHH" line' "$work/maint.err" ||
    fail "a template without vendors did not say why no rule was written"
echo 'vendor 0x1b5e' >"$etc/ox9162.conf"
maint postinst configure
grep -q 'ATTR{vendor}=="0x1b5e"' "$rule" && ! grep -q 0x1234 "$rule" ||
    fail "the rule does not come from /etc/ox9162.conf"
echo 'vendor 1b5e' >"$etc/ox9162.conf"
cp "$rule" "$work/rule.before"
maint postinst configure
cmp -s "$rule" "$work/rule.before" && grep -q 'ox9162.conf:1: expected' "$work/maint.err" ||
    fail "a bad configuration changed the rule or went unsaid"
echo 'vendor 0x1b5e' >"$etc/ox9162.conf"
OX9162_CONFIG=$etc/ox9162.conf "$root/sbin/ox9162-udev-rule" --vfio >"$rule"
maint postinst configure
grep -q vfio-pci "$rule" || fail "reinstalling lost the rule's --vfio"
old_header='# OX9162 cards: group ox9162 may map BAR4 (resource4) and enable the device.'
printf '%s\nold\n' "$old_header" >"$rule"
maint postinst configure
grep -q '^# Written by ox9162-udev-rule ' "$rule" ||
    fail "the first generator's rule was not rewritten"
sed -i 1d "$rule"
cp "$rule" "$work/rule.before"
maint postinst configure
cmp -s "$rule" "$work/rule.before" && grep -q 'not written by ox9162-udev-rule' "$work/maint.err" ||
    fail "the administrator's own rule was overwritten or went unsaid"
for odd in dangling-link directory; do
    rm -rf "$etc/ox9162.conf"
    if [ $odd = directory ]; then mkdir "$etc/ox9162.conf"; else ln -s "$work/none" "$etc/ox9162.conf"; fi
    maint postinst configure
    maint postrm purge
    [ ! -e "$work/none" ] || fail "postinst wrote through a dangling link"
done
[ -d "$etc/ox9162.conf" ] || fail "purge removed a directory that was not the package's"
[ -e "$rule" ] || fail "purge removed the administrator's own rule"
printf '%s\nold\n' "$old_header" >"$rule"
maint postrm purge
[ ! -e "$rule" ] || fail "purge left the first generator's rule"

# The launcher puts the stand-in in front even of the real library on the path: its
# trace shows the window enumerating the simulated card asked for.
LD_LIBRARY_PATH=$root/$libdir OX9162_SIM_CARDS='0123@7/3' OX9162_SIM_TRACE=$work/trace \
    QT_QPA_PLATFORM=offscreen "$root/bin/ox_krv5316-sim" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do
    grep -q '^call OX9162_Card_SLOT 0 = 0 3$' "$work/trace" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || fail "the window on simulated cards ended early"
    sleep 0.1
done
grep -q '^call OX9162_Card_SLOT 0 = 0 3$' "$work/trace" 2>/dev/null ||
    fail "the window did not enumerate the simulated card"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the window on simulated cards did not stay up"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

# The package: its version, dependencies, stripped binaries, and lintian's verdict.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$work"/pkg/*.deb)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package is not version $version"
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in fonts-liberation2 libqt6widgets6; do
    [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
dpkg-deb -x "$deb" "$work/deb"
if find "$work/deb" -type f -exec file {} + | grep -q 'not stripped'; then
    fail "the package holds unstripped binaries"
fi
lintian --fail-on error "$deb" 2>/dev/null >"$work/lintian" ||
    { cat "$work/lintian" >&2; fail "lintian reports errors"; }
echo "install test: staged, run and packaged; lintian:"
cat "$work/lintian"
