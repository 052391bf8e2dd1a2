#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR, prefix /usr) and runs
# what a user runs from there, with nothing of the build tree in reach: the
# host shows the installed pane (found beside itself) and saves a screenshot,
# the installed agent keeps a virtual laptop on the curve, and the installed
# launchctl writes a unit that starts the installed agent.
#
#   installed-tree.sh BUILD_DIR SOURCE_DIR VIRTUAL_LAPTOP
set -euo pipefail

build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"
laptop_tool="$3"
export LC_ALL=C

work="$(mktemp -d "${TMPDIR:-/tmp}/duolume-install-test.XXXXXX")"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if mountpoint -q "$work/laptop/dev" 2>/dev/null; then fusermount3 -u "$work/laptop/dev" || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
case "$work/" in "$build/"* | "$source_dir/"*) fail "the staging folder $work lies inside the build or source tree" ;; esac

# Any path of the build or the source tree in a file, a run path or a process.
mentions_tree() { grep -F -e "$build" -e "$source_dir" "$@"; }

# --- install ---------------------------------------------------------------
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
usr="$root/usr"
bundle="$usr/lib/duolume/Duolume.prefPane"
agent="$bundle/Contents/Resources/Duolume.app/Contents/MacOS/Duolume"
expected=(
    bin/prefpane-host
    lib/duolume/Duolume.prefPane/Contents/Info.plist
    lib/duolume/Duolume.prefPane/Contents/MacOS/Duolume.so
    lib/duolume/Duolume.prefPane/Contents/Resources/DuolumePref.ui
    lib/duolume/Duolume.prefPane/Contents/Resources/org.duolume.Duolume.plist
    lib/duolume/Duolume.prefPane/Contents/Resources/Duolume.app/Contents/Info.plist
    lib/duolume/Duolume.prefPane/Contents/Resources/Duolume.app/Contents/MacOS/Duolume
    libexec/duolume/launchctl
    share/applications/org.duolume.Duolume.desktop
    share/icons/hicolor/256x256/apps/org.duolume.Duolume.png
    share/metainfo/org.duolume.Duolume.metainfo.xml
    lib/udev/rules.d/70-duolume.rules
    lib/udev/rules.d/71-duolume-ddc.rules
    lib/modules-load.d/duolume-i2c-dev.conf
    share/doc/duolume/copyright
    share/doc/duolume/changelog.gz
    share/man/man1/prefpane-host.1.gz
    share/man/man1/duolume-launchctl.1.gz
)
for f in "${expected[@]}"; do [ -f "$usr/$f" ] || fail "not installed: /usr/$f"; done
for f in bin/prefpane-host libexec/duolume/launchctl "${agent#"$usr/"}"; do
    [ -x "$usr/$f" ] || fail "not executable: /usr/$f"
done
[ ! -e "$usr/libexec/launchctl" ] || fail "launchctl is in the libexec folder every package shares"
echo "installed $(find "$root" -type f | wc -l) files"

# The desktop entry names the installed host and bundle under the prefix
# given at install time, and is valid; so is the metainfo.
desktop="$usr/share/applications/org.duolume.Duolume.desktop"
exec_line="$(grep '^Exec=' "$desktop")"
[ "$exec_line" = "Exec=/usr/bin/prefpane-host /usr/lib/duolume/Duolume.prefPane" ] || fail "desktop entry: $exec_line"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail "desktop entry is not valid"; fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$usr/share/metainfo/org.duolume.Duolume.metainfo.xml" || fail "metainfo is not valid"
fi

# udev accepts the installed rule, where its udevadm can say (verify came
# with systemd 254: Debian 13 has it, Debian 12's 252 has not).
rules="$(find "$root" -path '*/rules.d/*.rules')"
[ -n "$rules" ] || fail "no udev rule installed"
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never $rules || fail "udevadm verify rejects $rules"
else
    echo "not checked with udevadm verify: $(command -v udevadm >/dev/null && echo "udevadm $(udevadm --version) has no verify" || echo "no udevadm here")"
fi

# No run path into the build tree, and every library found on the system.
for elf in "$usr/bin/prefpane-host" "$usr/libexec/duolume/launchctl" "$agent" "$bundle/Contents/MacOS/Duolume.so"; do
    if readelf -d "$elf" | grep -E 'R(UN)?PATH' | mentions_tree; then fail "$elf has a run path into the build tree"; fi
    deps="$(env -i ldd "$elf")"
    if grep -q 'not found' <<<"$deps"; then echo "$deps"; fail "$elf misses libraries"; fi
    if mentions_tree <<<"$deps"; then fail "$elf loads from the build tree"; fi
done

# --- a clean session -------------------------------------------------------
# Only what a login gives: no LD_LIBRARY_PATH, no PLATFORM_* but the virtual
# laptop's root, a working folder outside the trees, a private session bus.
mkdir -p "$work/home" "$work/runtime" "$work/cwd" && chmod 700 "$work/runtime"
"$laptop_tool" --root "$work/laptop" >"$work/laptop.out" 2>"$work/laptop.err" &
pids+=($!)
for _ in $(seq 200); do grep -q '^ready$' "$work/laptop.out" && break; sleep 0.05; done
grep -q '^ready$' "$work/laptop.out" || { cat "$work/laptop.err"; fail "virtual-laptop did not start"; }
dbus-daemon --session --nofork --address="unix:path=$work/runtime/bus" --print-address=3 \
    3>"$work/bus-address" 2>"$work/bus.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/bus-address" ] && break; sleep 0.05; done
[ -s "$work/bus-address" ] || fail "dbus-daemon did not start"

session=(env -i HOME="$work/home" USER=duolume-test PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8
         XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/runtime/bus"
         DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/runtime/no-system-bus"
         PLATFORM_SYSROOT="$work/laptop" PLATFORM_LOG_STDERR=1)
cd "$work/cwd"

# --- the host shows the installed pane -------------------------------------
"${session[@]}" QT_QPA_PLATFORM=offscreen LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loader" \
    "$usr/bin/prefpane-host" --screenshot "$work/pane.png" >"$work/host.out" 2>"$work/host.err" \
    || { cat "$work/host.err"; fail "the installed host failed"; }
file "$work/pane.png" | grep -q 'PNG image data' || fail "no screenshot"
[ "$(stat -c %s "$work/pane.png")" -gt 10000 ] || fail "the screenshot is nearly empty"
loaded="$(cat "$work"/loader.* | sed -n 's/.*file=\([^ ;]*\).*/\1/p' | sort -u)"
grep -qxF "$bundle/Contents/MacOS/Duolume.so" <<<"$loaded" || { echo "$loaded"; fail "the host did not load the installed pane"; }
if mentions_tree <<<"$loaded"; then fail "the host loaded something from the build tree"; fi

# --- the agent keeps the laptop on the curve -------------------------------
settings="$work/home/.config/org.duolume.Duolume.plist"
mkdir -p "$(dirname "$settings")"
{
    echo '<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>'
    echo '<key>enabled</key><integer>1</integer><key>singleMonitorDisabled</key><false/>'
    for level in 0 1 2 3 4 5 6 7 8 9 10; do
        echo "<key>internal$level</key><real>0.25</real><key>external$level</key><real>0.5</real>"
    done
    echo '</dict></plist>'
} >"$settings"
# Light for either sensor back-end: the Apple SMC pair and an IIO sensor.
mkdir -p "$work/laptop/sys/devices/platform/applesmc.768" "$work/laptop/sys/bus/iio/devices/iio:device0"
echo "(200,200)" >"$work/laptop/sys/devices/platform/applesmc.768/light"
echo "300" >"$work/laptop/sys/bus/iio/devices/iio:device0/in_illuminance_input"
backlight="$(ls -d "$work"/laptop/sys/class/backlight/* | head -n1)"
max="$(cat "$backlight/max_brightness")"
"${session[@]}" "$agent" 2>"$work/agent.log" &
agent_pid=$!
pids+=("$agent_pid")
want=$((max / 4))
for _ in $(seq 100); do [ "$(cat "$backlight/brightness")" = "$want" ] && break; sleep 0.1; done
[ "$(cat "$backlight/brightness")" = "$want" ] || { cat "$work/agent.log"; fail "backlight $(cat "$backlight/brightness"), wanted $want of $max"; }
grep -q 'Duolume agent started' "$work/agent.log" || fail "the agent did not say it started"
if mentions_tree "/proc/$agent_pid/maps"; then fail "the agent maps a file of the build tree"; fi
if tr '\0' '\n' <"/proc/$agent_pid/environ" | mentions_tree; then fail "the agent's environment names the build tree"; fi
[ "$(readlink "/proc/$agent_pid/exe")" = "$agent" ] || fail "the agent runs from $(readlink "/proc/$agent_pid/exe")"
kill -TERM "$agent_pid"
status=0
wait "$agent_pid" || status=$?
[ "$status" = 0 ] || fail "the agent ended with status $status on SIGTERM"

# --- launchctl writes a unit for the installed agent ------------------------
# The launch agent file as the pane writes it: the bundle's template with the
# agent's path; systemctl is stood in for by a script that notes its calls.
mkdir -p "$work/fakebin" "$work/home/.local/share/LaunchAgents"
printf '#!/bin/sh\necho "$@" >>"%s"\n' "$work/systemctl.calls" >"$work/fakebin/systemctl"
chmod +x "$work/fakebin/systemctl"
job="$work/home/.local/share/LaunchAgents/org.duolume.Duolume.plist"
python3 - "$bundle/Contents/Resources/org.duolume.Duolume.plist" "$agent" "$job" <<'PY'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    job = plistlib.load(f)
job["Program"] = sys.argv[2]
job["Disabled"] = False
with open(sys.argv[3], "wb") as f:
    plistlib.dump(job, f)
PY
"${session[@]}" PATH="$work/fakebin:/usr/bin:/bin" "$usr/libexec/duolume/launchctl" load -S Aqua "$job" \
    2>"$work/launchctl.err" || { cat "$work/launchctl.err"; fail "the installed launchctl failed"; }
unit="$work/home/.config/systemd/user/org.duolume.Duolume.service"
[ -f "$unit" ] || fail "no unit written"
grep -qxF "ExecStart=\"$agent\"" "$unit" || { cat "$unit"; fail "the unit does not start the installed agent"; }
grep -q 'enable' "$work/systemctl.calls" || fail "launchctl did not ask systemctl to enable the unit"

echo "PASS: the installed tree works on its own"
