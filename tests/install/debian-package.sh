#!/usr/bin/env bash
# Builds the Debian package from the build, checks what it holds and
# declares, has Debian's own checker (lintian) find no error or warning in
# it, installs it on this machine with dpkg, runs the installed host,
# removes the package again and checks that nothing is left behind.
# Needs root and dpkg; skips (status 77) and says why otherwise.
#
#   debian-package.sh BUILD_DIR
set -euo pipefail

build="$(cd "$1" && pwd)"
export LC_ALL=C
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || skip "installing a package needs root (this is uid $(id -u))"
for tool in dpkg dpkg-deb dpkg-shlibdeps cpack flock lintian; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

# One package test at a time on this machine, whichever build runs it.
exec 9>/run/lock/duolume-package-test.lock
flock -w 600 9 || fail "another package test holds /run/lock/duolume-package-test.lock"
if dpkg-query -W -f='${db:Status-Status}' duolume 2>/dev/null | grep -qv '^not-installed$'; then
    skip "a duolume package is already installed here; not touching it"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/duolume-package-test.XXXXXX")"
installed=0
cleanup() {
    if [ "$installed" = 1 ]; then dpkg --purge duolume >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- build ------------------------------------------------------------------
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$work"/out/duolume_*.deb)"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# --- what it holds and declares ----------------------------------------------
dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' | grep -v '^$' | sort >"$work/contents"
files="$(dpkg-deb --contents "$deb" | grep -c '^-')"
echo "contents: $(wc -l <"$work/contents") entries, $files files"
for path in /usr/bin/prefpane-host /usr/libexec/duolume/launchctl \
            /usr/lib/duolume/Duolume.prefPane/Contents/MacOS/Duolume.so \
            /usr/lib/duolume/Duolume.prefPane/Contents/Resources/Duolume.app/Contents/MacOS/Duolume \
            /usr/lib/duolume/Duolume.prefPane/Contents/Resources/org.duolume.Duolume.plist \
            /usr/share/applications/org.duolume.Duolume.desktop \
            /usr/share/icons/hicolor/256x256/apps/org.duolume.Duolume.png \
            /usr/share/metainfo/org.duolume.Duolume.metainfo.xml \
            /usr/lib/udev/rules.d/70-duolume.rules /usr/lib/udev/rules.d/71-duolume-ddc.rules \
            /usr/lib/modules-load.d/duolume-i2c-dev.conf \
            /usr/share/doc/duolume/copyright /usr/share/doc/duolume/changelog.gz \
            /usr/share/doc/duolume/changelog.Debian.gz \
            /usr/share/man/man1/prefpane-host.1.gz /usr/share/man/man1/duolume-launchctl.1.gz; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -v -e '^/usr/' -e '^/usr$' -e '^/$' "$work/contents"; then fail "the package puts files outside /usr"; fi

# The version names the release the package is built for (1.0.0-1~deb12 on
# Debian 12, 1.0.0-1~deb13 on 13), and the package's own changelog says so.
version="$(dpkg-deb --field "$deb" Version)"
echo "Version: $version"
os_id="$(. /etc/os-release && echo "${ID:-}")"
os_version="$(. /etc/os-release && echo "${VERSION_ID:-}")"
if [ "$os_id" = debian ] && [ -n "$os_version" ]; then
    case "$version" in *"~deb$os_version") ;; *) fail "version $version does not name Debian $os_version" ;; esac
fi
[ "$(basename "$deb")" = "duolume_${version}_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$deb")"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/duolume/changelog.Debian.gz | gzip -dc | head -n1 \
    | grep -qF "duolume ($version)" || fail "changelog.Debian.gz does not start with version $version"

# Every library the programs load comes from a package it depends on, by the
# name this release gives it (libplist3 on Debian 12, libplist-2.0-4 on 13,
# the t64 names of Debian 13), and so does what is used without being linked.
depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
names="$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')"
dpkg-deb --extract "$deb" "$work/tree"
libraries="$(find "$work/tree" -type f -exec sh -c 'readelf -d "$1" 2>/dev/null' sh {} \; \
    | sed -n 's/.*(NEEDED).*Shared library: \[\(.*\)\]/\1/p' | sort -u)"
# The package holding a library as the loader finds it (dpkg lists /lib or
# /usr/lib, whichever the package ships, both one folder since /usr merged).
owner_of() {
    local path
    path="$(ldconfig -p | awk -v l="$1" -v m="$(dpkg --print-architecture | sed 's/amd64/x86-64/')" \
        '$1 == l && index($0, m) { print $NF; exit }')"
    [ -n "$path" ] || return 0
    for candidate in "$path" "${path#/usr}" "/usr$path"; do
        dpkg-query -S "$candidate" 2>/dev/null | cut -d: -f1 && return 0
    done
}
for library in $libraries; do
    owner="$(owner_of "$library")"
    [ -n "$owner" ] || fail "no installed package holds $library"
    grep -qxF "$owner" <<<"$names" || fail "Depends lacks $owner (for $library)"
done
echo "libraries: $(wc -w <<<"$libraries"), each from a package in Depends"
for dependency in qt6-qpa-plugins dbus systemd; do
    grep -qxF "$dependency" <<<"$names" || fail "Depends lacks $dependency"
done
# Listed to a file first: grep -q stopping early would kill tar with SIGPIPE,
# which pipefail turns into a failure.
dpkg-deb --ctrl-tarfile "$deb" | tar -t >"$work/control"
grep -qx './postinst' "$work/control" || fail "no postinst"

# --- Debian's checker ----------------------------------------------------------
# Every error and warning fails; informational tags are shown but pass.
lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.log" 2>&1 \
    || { cat "$work/lintian.log"; fail "lintian finds errors or warnings in the package"; }
echo "lintian: $(grep -c '^[EW]:' "$work/lintian.log" || true) errors and warnings, $(grep -c '^I:' "$work/lintian.log" || true) notes"

# --- install -------------------------------------------------------------
dpkg -i "$deb" >"$work/dpkg-install.log" 2>&1 || { cat "$work/dpkg-install.log"; fail "dpkg -i"; }
installed=1
[ "$(dpkg-query -W -f='${db:Status-Status}' duolume)" = installed ] || fail "dpkg does not list duolume as installed"
grep -q '^Exec=/usr/bin/prefpane-host /usr/lib/duolume/Duolume.prefPane$' \
    /usr/share/applications/org.duolume.Duolume.desktop || fail "desktop entry does not name /usr"
mkdir -p "$work/home" "$work/laptop"
(cd "$work" && env -i HOME="$work/home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
     PLATFORM_SYSROOT="$work/laptop" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
     /usr/bin/prefpane-host --screenshot "$work/pane.png" >"$work/host.log" 2>&1) \
    || { cat "$work/host.log"; fail "the packaged host did not show the pane"; }
[ -s "$work/pane.png" ] || fail "no screenshot from the packaged host"

# --- remove --------------------------------------------------------------------
dpkg -r duolume >"$work/dpkg-remove.log" 2>&1 || { cat "$work/dpkg-remove.log"; fail "dpkg -r"; }
# Access already given to connected monitors is not taken away by the removal,
# and the person removing the package is told so.
grep -q "until they are plugged in again or the machine restarts" "$work/dpkg-remove.log" \
    || { cat "$work/dpkg-remove.log"; fail "dpkg -r did not say that given access stays"; }
# dpkg keeps only its record of the postrm, to run it on purge; the package
# has no configuration files.
status="$(dpkg-query -W -f='${db:Status-Status}' duolume 2>/dev/null || echo not-installed)"
case "$status" in not-installed | config-files) ;; *) fail "after dpkg -r, duolume is '$status'" ;; esac
[ -z "$(dpkg-query -W -f='${Conffiles}' duolume 2>/dev/null)" ] || fail "the package left configuration files"
left=0
while read -r path; do
    case "$path" in /usr/lib/duolume* | */org.duolume.* | */70-duolume.rules | */71-duolume-ddc.rules | */duolume-i2c-dev.conf | /usr/bin/prefpane-host | /usr/libexec/duolume/launchctl)
        if [ -e "$path" ]; then echo "left behind: $path"; left=1; fi ;;
    esac
done <"$work/contents"
[ "$left" = 0 ] || fail "dpkg -r left files behind"
[ ! -e /usr/lib/duolume ] || fail "dpkg -r left /usr/lib/duolume"
dpkg --purge duolume >"$work/dpkg-purge.log" 2>&1 || { cat "$work/dpkg-purge.log"; fail "dpkg --purge"; }
installed=0
status="$(dpkg-query -W -f='${db:Status-Status}' duolume 2>/dev/null || echo not-installed)"
[ "$status" = not-installed ] || fail "after dpkg --purge, duolume is '$status'"

echo "PASS: the package installs, runs and removes cleanly"
