#!/usr/bin/env bash
# The helper end to end on this machine, against loopback servers only:
#   - installs what is missing and builds the binaries it needs,
#   - generates two sample applications and packs one as zip, the other as a UDIF disk image,
#   - writes a fixture root: a catalog signed with the demo key, a cask file for "Notes",
#     an appcast feed for "Sketch", the server's name answer and icons,
#   - starts vantor-fixture-server on it and points a demo HOME at it, with
#     "InstallationDirectory" set to a demo applications folder,
#   - runs vantor-install-helper for vantor://com.example.demo.notes (cask, zip) and
#     vantor://com.example.demo.sketch (feed, disk image) in the terminal front end,
#   - shows the installed bundles and stops the server.
#
# usage: scripts/demo.sh [--yes] [--keep]
#   --yes   answer every dialog with its first button (non-interactive, as in CI)
#   --keep  keep the demo folder (HOME, fixture root, installed apps) for a look afterwards
# VANTOR_DEMO_TIMEOUT bounds each helper run (seconds; 900, or 300 with --yes).
# Exit status 0 when both applications were installed.
set -euo pipefail
cd "$(dirname "$0")/.."

yes=()
keep=0
for argument in "$@"; do
  case "$argument" in
    --yes) yes=(--yes) ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown argument $argument (try --help)" >&2; exit 2 ;;
  esac
done

if [ -t 1 ]; then
  say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
else
  say() { printf '\n== %s\n' "$*"; }
fi

say "Packages and build"
bash scripts/setup-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
targets=(vantor-install-helper vantor-fixture-server vantor-sign-catalog vantor-make-udif)
if grep -q installHelperTool tools/CMakeLists.txt; then targets+=(installHelperTool); fi
cmake --build build -j"$jobs" --target "${targets[@]}" > /dev/null
bin="$PWD/build/bin"

demo=$(mktemp -d /tmp/vantor-demo.XXXXXX)
root="$demo/root"
home="$demo/home"
apps="$demo/Applications"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2> /dev/null; then
    kill -TERM "$server_pid"
    wait "$server_pid" 2> /dev/null || true
  fi
  if [ "$keep" = 1 ]; then echo "demo: the demo folder stays at $demo"; else rm -rf "$demo"; fi
}
trap cleanup EXIT
mkdir -p "$root" "$home" "$apps" "$demo/run" "$demo/stage"
chmod 700 "$demo/run"

say "Sample applications"
# make_app NAME BUNDLE_ID VERSION BUILD: a bundle with an Info.plist and a small executable.
make_app() {
  local name=$1 bid=$2 version=$3 build=$4
  local app="$demo/stage/$name/$name.app"
  mkdir -p "$app/Contents/MacOS" "$app/Contents/Resources"
  cat > "$app/Contents/Info.plist" << EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>$bid</string>
  <key>CFBundleName</key><string>$name</string>
  <key>CFBundleExecutable</key><string>$name</string>
  <key>CFBundlePackageType</key><string>APPL</string>
  <key>CFBundleShortVersionString</key><string>$version</string>
  <key>CFBundleVersion</key><string>$build</string>
  <key>LSMinimumSystemVersion</key><string>10.13</string>
</dict>
</plist>
EOF
  printf 'APPL????' > "$app/Contents/PkgInfo"
  cat > "$app/Contents/MacOS/$name" << EOF
#!/bin/sh
echo "$name $version ($build) says hello from \$(dirname "\$0")"
EOF
  chmod 755 "$app/Contents/MacOS/$name"
  echo "$app"
}
make_app Notes com.example.demo.notes 1.2.0 120
make_app Sketch com.example.demo.sketch 2.0 200

mkdir -p "$root/downloads"
(cd "$demo/stage/Notes" && bsdtar --format zip -cf "$root/downloads/Notes-1.2.0.zip" Notes.app)
"$bin/vantor-make-udif" "$demo/stage/Sketch" Sketch "$root/downloads/Sketch-2.0.dmg"
ls -l "$root/downloads"

say "Fixture server"
"$bin/vantor-fixture-server" --root "$root" --ca-out "$demo/fixture-ca.pem" \
  --request-log "$demo/requests.jsonl" > "$demo/server.out" 2> "$demo/server.err" &
server_pid=$!
for _ in $(seq 1 100); do
  [ -s "$demo/server.out" ] && break
  sleep 0.1
done
read -r ports < "$demo/server.out" || true
case "$ports" in
  http=*" https="*) ;;
  *) echo "demo: the fixture server did not start: $(cat "$demo/server.err")" >&2; exit 1 ;;
esac
https_port=${ports##*https=}
host="127.0.0.1:$https_port"
base="https://$host"
echo "listening: $ports"

say "Fixture root: cask, feed, name answer, icons, catalog"
notes_sha=$(sha256sum "$root/downloads/Notes-1.2.0.zip" | cut -d' ' -f1)
mkdir -p "$root/caskroom/homebrew-cask/master/Casks"
cat > "$root/caskroom/homebrew-cask/master/Casks/notes.rb" << EOF
cask 'notes' do
  version '1.2.0'
  sha256 '$notes_sha'

  url '$base/downloads/Notes-1.2.0.zip'
  name 'Notes'
  homepage '$base/notes/'

  app 'Notes.app'
end
EOF
mkdir -p "$root/feeds"
sketch_length=$(stat -c %s "$root/downloads/Sketch-2.0.dmg")
cat > "$root/feeds/sketch.xml" << EOF
<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Sketch</title>
    <item>
      <title>Sketch 2.0</title>
      <sparkle:minimumSystemVersion>10.13</sparkle:minimumSystemVersion>
      <enclosure url="$base/downloads/Sketch-2.0.dmg" sparkle:version="200"
                 sparkle:shortVersionString="2.0" length="$sketch_length" type="application/octet-stream"/>
    </item>
  </channel>
</rss>
EOF
# The feed names no application: the product server's paths give the name.
mkdir -p "$root/cgi-bin/receive_date" "$root/cgi-bin/icons"
echo '[{"Path1": "/Applications/Sketch.app", "Path2": "/Applications/Sketch.app", "Path3": null, "Path4": null}]' \
  > "$root/cgi-bin/receive_date/com.example.demo.sketch.json"
icon='iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=='
for bid in com.example.demo.notes com.example.demo.sketch; do
  echo "$icon" | base64 -d > "$root/cgi-bin/icons/$bid.png"
done
cat > "$demo/catalog.json" << EOF
{"bundleIDMapping": {
  "com.example.demo.notes": {"cn": "notes"},
  "com.example.demo.sketch": {"fe": "$base/feeds/sketch.xml"}
}}
EOF
"$bin/vantor-sign-catalog" "$demo/catalog.json" "$root/cgi-bin/configfile.encr"
mkdir -p "$home/Library/Application Support/Vantor" "$home/Library/Preferences"
cp "$root/cgi-bin/configfile.encr" "$home/Library/Application Support/Vantor/config.json.encr"
cat > "$home/Library/Preferences/com.vantor.VantorInstallHelper.plist" << EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>InstallationDirectory</key><string>$apps/</string>
</dict>
</plist>
EOF
find "$root" -type f | sed "s|^$root||" | sort

run_limit=${VANTOR_DEMO_TIMEOUT:-$([ ${#yes[@]} -gt 0 ] && echo 300 || echo 900)}
install_app() {
  local bid=$1
  say "vantor-install-helper ${yes[*]} vantor://$bid"
  local status=0
  env HOME="$home" XDG_RUNTIME_DIR="$demo/run" VANTOR_UI=tty VANTOR_ONLINE=1 \
    VANTOR_PRODUCT_SERVER="$host" VANTOR_CASK_HOST="$host" VANTOR_MAKER_HOST="$host" \
    VANTOR_CA_BUNDLE="$demo/fixture-ca.pem" \
    timeout --foreground "$run_limit" "$bin/vantor-install-helper" "${yes[@]}" "vantor://$bid" || status=$?
  echo "exit status $status"
}
install_app com.example.demo.notes
install_app com.example.demo.sketch

say "Installed into $apps"
result=0
for name in Notes Sketch; do
  if [ -f "$apps/$name.app/Contents/Info.plist" ]; then
    find "$apps/$name.app" | sed "s|^$apps/||"
    "$apps/$name.app/Contents/MacOS/$name"
  else
    echo "$name.app was not installed"
    result=1
  fi
done
exit $result
