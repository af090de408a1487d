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
    if "${@:2}" >"$work/out" 2>&1; then
        echo "PASS: $1" && passed=$((passed + 1))
    else
        echo "FAIL: $1" && sed 's/^/    /' "$work/out" | head -40 && failed=$((failed + 1))
    fi
}

rm -f "$build"/kestrel_*.deb
check "scripts/package.sh writes the package into the build folder" \
    env KESTREL_PACKAGE_NO_BUILD=1 KESTREL_BUILD_DIR="$build" "$source_dir/scripts/package.sh"
deb=$(ls "$build"/kestrel_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "0 passed, 1 failed"; exit 1; }

dpkg-deb -c "$deb" | awk '{print $1, $NF}' >"$work/list"
missing=()
for file in x:bin/KESTREL x:bin/TORVAL_Updater x:libexec/kestrel/kestrel-firewall-helper \
    r:share/applications/$id.desktop r:share/metainfo/$id.metainfo.xml r:share/polkit-1/actions/$id.policy \
    r:share/icons/hicolor/scalable/apps/$id.svg r:share/kestrel/packaged r:share/doc/kestrel/copyright \
    r:share/doc/kestrel/changelog.gz r:share/man/man1/KESTREL.1.gz \
    r:share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/$id.png; do
    mode=$([ "${file%%:*}" = x ] && echo -rwxr-xr-x || echo -rw-r--r--)
    grep -q -- "$mode \./usr/${file#*:}\$" "$work/list" || missing+=("${file#*:}")
done
grep -q 'bin/kestrel-service$' "$work/list" && missing+=("kestrel-service must stay out")
check "file list: programs, helper, desktop entry, icons, metainfo, policy, marker" \
    bash -c 'printf "%s\n" "$@"; test $# -eq 0' missing "${missing[@]}"

check "dependencies: the run-time ones, then shlibdeps" bash -c "dpkg-deb -f '$deb' Depends | grep 'pkexec.*libqt6widgets6'"

root=$work/root
dpkg-deb -x "$deb" "$root"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/$id.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
lintian "$deb" >"$work/lintian" 2>&1
check "lintian reports no error" bash -c "cat '$work/lintian'; ! grep -q '^E:' '$work/lintian'"

# No display at all: answering --version and --help must not need one.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/KESTREL" "$@"; }
check "KESTREL --version and --help from the unpacked root" bash -c "$(declare -f run); root='$root'
    run --version | grep -qx 'KESTREL 1.6.3' && run --help | grep -q -- '--version'"

# pkexec finds the actions by the helper's installed path and its one argument.
policy=$root/usr/share/polkit-1/actions/$id.policy
check "polkit actions name the installed helper for status, clear and each preset" bash -c "
    test \$(grep -c '>/usr/libexec/kestrel/kestrel-firewall-helper</annotate>' '$policy') -eq 7 &&
    for a in status clear 1 2 3 4 5; do grep -q \"argv1\\\">\$a</annotate>\" '$policy' || exit 1; done &&
    grep -A3 '<defaults>' '$policy' | grep -q '<allow_active>yes</allow_active>' &&
    test \$(grep -c '<allow_active>auth_admin_keep</allow_active>' '$policy') -eq 6"

# Installed as the package installs it: an overlay on /usr in mount, IPC and network
# namespaces of our own, run by a player without root. With the polkit actions KESTREL
# passes the administrator check, finds the game and keeps its records in the player's
# data folder (/usr is read-only); without them it stops at the administrator window.
# A portable copy in a folder it may write to keeps its records beside itself.
cat >"$work/installed.sh" <<'EOF'
export PATH=/usr/sbin:/sbin:$PATH
mount -t overlay overlay -o "lowerdir=$ROOT/usr:/usr" /usr || exit 1
[ "$1" = hide ] && mount -t tmpfs tmpfs /usr/share/polkit-1/actions
ip link set lo up
player="setpriv --reuid=65534 --regid=65534 --clear-groups"
sleep 20 | $player "$BIN/fake_game_server" 127.0.0.44:9444 >/dev/null &
sleep 1
sleep 20 | $player "$BIN/rf4_x64.exe" 127.0.0.44 9444 >/dev/null &
[ "$1" = portable ] && player= # root, as a portable copy runs
$player env HOME="$HOME_DIR" TMPDIR="$HOME_DIR" XDG_RUNTIME_DIR="$HOME_DIR" QT_QPA_PLATFORM=offscreen \
    KESTREL_TEST_AUTOCLOSE_MS=200 timeout 12 "${PROGRAM:-/usr/bin/KESTREL}" 2>&1
EOF
if [ "$(id -u)" -eq 0 ]; then
    home=$work/home data="$work/home/.local/share/TORVAL DEVELOPMENT/KESTREL"
    mkdir -p "$home/.config/TORVAL" "$work/portable"
    printf '[General]\nsafetyAccepted=true\nchatUserName=Player\nminiOverlayEnabled=false\n' \
        >"$home/.config/TORVAL/KESTREL.conf"
    chmod 755 "$work" && chmod 700 "$home" && chown -R 65534:65534 "$home"
    installed() { ROOT=$root HOME_DIR=$home BIN=$build/bin PROGRAM=${PROGRAM:-} unshare -m -i -n sh "$work/installed.sh" "$@"; }
    installed >"$work/run.log"
    check "installed, without root: game found, records in the player's data folder" bash -c "
        cat '$work/run.log'; grep -q 'Сессия 1 начата' '$work/run.log' && ! grep -q 'Not elevated' '$work/run.log' &&
        test -s '$data/game_sessions.txt' && test -s '$data/port_history.txt'"
    installed hide >"$work/run.log"
    check "installed without the polkit actions: administrator window" grep -q 'Not elevated' "$work/run.log"
    cp "$root/usr/bin/KESTREL" "$work/portable/"
    PROGRAM=$work/portable/KESTREL installed portable >"$work/run.log"
    check "portable copy: records beside the program" bash -c "cat '$work/run.log';
        test -s '$work/portable/game_sessions.txt' && test -s '$work/portable/port_history.txt'"
fi

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
