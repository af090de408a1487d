#!/usr/bin/env bash
# The Debian package as a player gets it: built by scripts/package.sh from what the build
# made, the files a desktop needs, the validators, a start from an unpacked root, and the
# removal script taking the firewall rule away. Usage: tst_package.sh BUILD_DIR
set -uo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
id=io.github.torval_dev.kestrel
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { # description, command...
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        echo "PASS: $what"
        passed=$((passed + 1))
    else
        echo "FAIL: $what"
        sed 's/^/    /' "$work/out" | head -40
        failed=$((failed + 1))
    fi
}

rm -f "$build"/kestrel_*.deb
check "scripts/package.sh writes the package into the build folder" \
    env KESTREL_PACKAGE_NO_BUILD=1 KESTREL_BUILD_DIR="$build" "$source_dir/scripts/package.sh"
deb=$(ls "$build"/kestrel_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "0 passed, 1 failed"; exit 1; }

dpkg-deb -c "$deb" | awk '{print $1, $NF}' >"$work/list"
has() { grep -q -- "$1 \./usr/$2\$" "$work/list"; }
missing=()
for file in bin/KESTREL bin/TORVAL_Updater libexec/kestrel/kestrel-firewall-helper; do
    has -rwxr-xr-x "$file" || missing+=("$file")
done
for file in share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/polkit-1/actions/$id.policy share/icons/hicolor/scalable/apps/$id.svg \
    share/kestrel/packaged share/doc/kestrel/copyright share/doc/kestrel/changelog.gz share/man/man1/KESTREL.1.gz; do
    has -rw-r--r-- "$file" || missing+=("$file")
done
for size in 16 32 48 64 128 256; do
    has -rw-r--r-- "share/icons/hicolor/${size}x${size}/apps/$id.png" || missing+=("$size px icon")
done
grep -q 'bin/kestrel-service$' "$work/list" && missing+=("kestrel-service must stay out")
check "file list: programs, helper, desktop entry, icons, metainfo, policy, marker" \
    bash -c 'printf "%s\n" "$@"; test $# -eq 0' missing "${missing[@]}"

dpkg-deb -f "$deb" Depends >"$work/depends"
check "dependencies from shlibdeps plus the run-time ones" \
    grep -Eq 'libqt6widgets6.*pkexec|pkexec.*libqt6widgets6' "$work/depends"

root=$work/root
dpkg-deb -x "$deb" "$root"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/$id.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
lintian --no-tag-display-limit "$deb" >"$work/lintian" 2>&1
check "lintian reports no error" bash -c "! grep '^E:' '$work/lintian'"
grep '^[EW]:' "$work/lintian" | sed 's/^/    /'

# No display at all: answering --version and --help must not need one.
check "KESTREL --version from the unpacked root" bash -c \
    "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '$root/usr/bin/KESTREL' --version | grep -qx 'KESTREL 1.6.3'"
check "KESTREL --help from the unpacked root" bash -c \
    "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '$root/usr/bin/KESTREL' --help | grep -q -- '--version'"

# pkexec finds the actions by the helper's installed path and its one argument.
policy=$root/usr/share/polkit-1/actions/$id.policy
check "polkit actions name the installed helper for status, clear and each preset" bash -c "
    test \$(grep -c '>/usr/libexec/kestrel/kestrel-firewall-helper</annotate>' '$policy') -eq 7 &&
    for a in status clear 1 2 3 4 5; do grep -q \"argv1\\\">\$a</annotate>\" '$policy' || exit 1; done &&
    grep -A3 '<defaults>' '$policy' | grep -q '<allow_active>yes</allow_active>' &&
    test \$(grep -c '<allow_active>auth_admin_keep</allow_active>' '$policy') -eq 6"

# Removal takes the rule away; an upgrade keeps it. In a network namespace of our own.
dpkg-deb -e "$deb" "$work/control"
if [ "$(id -u)" -eq 0 ] && command -v nft >/dev/null; then
    check "prerm removes the rule on removal, keeps it on upgrade" unshare -n sh -c "
        nft add table inet RF4_Game_Ports &&
        sh '$work/control/prerm' upgrade && nft list table inet RF4_Game_Ports >/dev/null &&
        sh '$work/control/prerm' remove && ! nft list table inet RF4_Game_Ports 2>/dev/null &&
        sh '$work/control/prerm' remove"
fi

echo "$passed passed, $failed failed"
exit $((failed > 0))
