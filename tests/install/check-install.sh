#!/usr/bin/env bash
# Installs the build tree given as $1 into a temporary prefix and checks the installed files
# as a desktop would read them: the program, the launcher entry, the icon sizes, the AppStream
# description, the book file type, the manual page, and that the installed program keeps its preferences in the user's
# configuration folder because it cannot write its own.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
app_id=io.github.quillbox.Quillbox
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

check_file() {
    [ -f "$prefix/$1" ] || fail "$1 is not installed"
}

# desktop_key KEY: the value of KEY in the installed launcher entry.
desktop_key() {
    sed -n "s/^$(printf '%s' "$1" | sed 's/[][]/\\&/g')=//p" "$prefix/share/applications/$app_id.desktop"
}

check_desktop_entry() {
    local entry=share/applications/$app_id.desktop
    check_file "$entry"
    desktop-file-validate "$prefix/$entry" || fail "desktop-file-validate rejects $entry"
    local key expected
    while IFS='|' read -r key expected; do
        [ "$(desktop_key "$key")" = "$expected" ] || fail "$entry: $key is '$(desktop_key "$key")', not '$expected'"
    done <<'KEYS'
Type|Application
Name|Quillbox
Exec|quillbox %f
MimeType|application/x-quillbox-book;
Icon|quillbox
StartupNotify|true
Categories|Office;ContactManagement;
KEYS
    local key_name
    for key_name in 'GenericName[zh_CN]' 'Comment[zh_CN]' GenericName Comment; do
        [ -n "$(desktop_key "$key_name")" ] || fail "$entry has no $key_name"
    done
    [ -x "$prefix/bin/$(desktop_key Exec | cut -d' ' -f1)" ] || fail "Exec names no installed program"
}

# png_size FILE: "WIDTHxHEIGHT" from the PNG header.
png_size() {
    local bytes
    read -r -a bytes <<<"$(od -An -tu1 -j16 -N8 "$1")"
    echo "$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))x$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))"
}

check_icons() {
    local size icon
    for size in 16x16 32x32 48x48 128x128; do
        icon=share/icons/hicolor/$size/apps/quillbox.png
        check_file "$icon"
        [ -f "$prefix/$icon" ] && [ "$(png_size "$prefix/$icon")" != "$size" ] &&
            fail "$icon is $(png_size "$prefix/$icon"), not $size"
    done
    icon=share/icons/hicolor/scalable/apps/quillbox.svg
    check_file "$icon"
    grep -q '<svg' "$prefix/$icon" || fail "$icon is not an SVG picture"
}

check_metainfo() {
    local metainfo=share/metainfo/$app_id.metainfo.xml
    check_file "$metainfo"
    appstreamcli validate --no-net "$prefix/$metainfo" || fail "appstreamcli validate rejects $metainfo"
    # The description, its launcher entry and its icon together, as a software centre reads them.
    appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree rejects the prefix"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$prefix/$metainfo" ||
        fail "$metainfo does not launch $app_id.desktop"
}

# Runs the installed program until it has chosen where its preferences go, as a user who cannot
# write the program's folder; it must pick the configuration folder and stay up.
check_preferences_folder() {
    local home=$work/home
    mkdir -p "$home"
    chmod 755 "$work"
    local -a as_user=(env)
    if [ "$(id -u)" -eq 0 ]; then
        # root may write anywhere: run as an ordinary user instead.
        chown nobody "$home"
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env)
    else
        chmod a-w "$prefix/bin"
    fi
    "${as_user[@]}" QT_QPA_PLATFORM=offscreen HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home" \
        "$prefix/bin/quillbox" >"$work/run.log" 2>&1 &
    local pid=$! waited=0
    while [ ! -d "$home/config/Quillbox" ] && [ $waited -lt 100 ] && kill -0 $pid 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 $pid 2>/dev/null; then
        kill $pid
        wait $pid || true
    else
        wait $pid || true
        fail "the installed program ended at start: $(cat "$work/run.log")"
    fi
    [ -d "$home/config/Quillbox" ] || fail "the installed program did not use \$XDG_CONFIG_HOME/Quillbox"
    [ ! -e "$prefix/bin/quillbox.ini" ] || fail "the installed program wrote beside itself"
    chmod u+w "$prefix/bin"
}

cmake --install "$build" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/quillbox" ] || fail "bin/quillbox is not installed"
check_desktop_entry
check_icons
check_metainfo
check_file share/mime/packages/$app_id.xml
check_file share/man/man1/quillbox.1.gz
check_preferences_folder
if [ $failures -ne 0 ]; then
    echo "$failures installation check(s) failed"
    exit 1
fi
echo "installation checks passed"
