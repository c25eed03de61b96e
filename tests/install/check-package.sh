#!/usr/bin/env bash
# check-package.sh BUILD VERSION NEWBOOK MIMETYPE: builds the Debian package from the build tree BUILD,
# checks its name, control fields, contents and lintian's verdict, unpacks it into a scratch
# root and checks what it installed as a desktop would use it: the program runs headless and
# opens a book named on its command line, the file type tells a Quillbox book from an Access
# file and a foreign SQLite file, and the launcher entry opens the book type. NEWBOOK makes a
# book the way the program does; MIMETYPE tells the type Qt's database gives a file.
set -euo pipefail
build=$1
version=$2
newbook=$3
qt_mimetype=$4
work=$(mktemp -d)
pid=
cleanup() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
root=$work/root
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

build_package() {
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; exit 1; }
    deb=$work/out/quillbox_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || { fail "no $(basename "$deb"): $(ls "$work/out")"; exit 1; }
}

check_control() {
    [ "$(dpkg-deb -f "$deb" Package)" = quillbox ] || fail "Package is not quillbox"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
    local depends needed
    depends=$(dpkg-deb -f "$deb" Depends)
    # Loaded at run time, so only named dependencies bring them; the rest comes from shlibdeps.
    for needed in libqt6sql6-sqlite qt6-translations-l10n 'fonts-noto-cjk | fonts-wqy-microhei' \
        'libqt6widgets6 (' 'libsqlite3-0 ('; do
        [[ "$depends" == *"$needed"* ]] || fail "Depends lacks '$needed': $depends"
    done
    [ "$(dpkg-deb -f "$deb" Recommends)" = mdbtools ] || fail "Recommends is not mdbtools"
    [ -n "$(dpkg-deb -f "$deb" Description | sed -n 2p)" ] || fail "the description has no body"
}

check_contents() {
    local listing path
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    while read -r path; do
        grep -qx "./usr/$path" <<<"$listing" || fail "the package lacks /usr/$path"
    done <<'FILES'
bin/quillbox
share/applications/io.github.quillbox.Quillbox.desktop
share/metainfo/io.github.quillbox.Quillbox.metainfo.xml
share/mime/packages/io.github.quillbox.Quillbox.xml
share/icons/hicolor/48x48/apps/quillbox.png
share/icons/hicolor/scalable/apps/quillbox.svg
share/man/man1/quillbox.1.gz
share/doc/quillbox/copyright
share/doc/quillbox/changelog.gz
FILES
}

check_lintian() {
    # No error or warning; the informational tags left are explained in the README.
    lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.log")"
    local tags
    tags=$(sed -n 's/^[EWI]: quillbox: \([^ ]*\).*/\1/p' "$work/lintian.log" | sort -u |
        { grep -vx -e binary-has-unneeded-section -e hardening-no-fortify-functions || true; } |
        xargs)
    [ -z "$tags" ] || fail "lintian tags: $(cat "$work/lintian.log")"
}

check_unpacked_files() {
    dpkg-deb -x "$deb" "$root"
    file "$root/usr/bin/quillbox" | grep -q ', stripped' || fail "the program is not stripped"
    ! ldd "$root/usr/bin/quillbox" | grep 'not found' || fail "the program misses libraries"
    local gz
    for gz in share/man/man1/quillbox.1.gz share/doc/quillbox/changelog.gz; do
        # gzip -9n: best compression, no name or time stored (byte 3 flags, bytes 4-7 time).
        [ "$(od -An -tx1 -j3 -N5 "$root/usr/$gz" | tr -d ' ')" = 0000000000 ] ||
            fail "$gz stores a name or a time"
        [ "$(od -An -tx1 -j8 -N1 "$root/usr/$gz" | tr -d ' ')" = 02 ] || fail "$gz is not gzip -9"
    done
    grep -q '^License: MIT$' "$root/usr/share/doc/quillbox/copyright" || fail "copyright is not MIT"
    local metainfo=$root/usr/share/metainfo/io.github.quillbox.Quillbox.metainfo.xml
    grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "metainfo: licence is not MIT"
    grep -m1 '<release ' "$metainfo" | grep -q "version=\"$version\"" ||
        fail "metainfo: the newest release is not $version"
    zcat "$root/usr/share/doc/quillbox/changelog.gz" | head -1 | grep -q "^quillbox ($version) " ||
        fail "the changelog does not start at $version"
    local page=$root/usr/share/man/man1/quillbox.1.gz warnings
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man reports: $warnings"
    lexgrog "$page" | grep -q 'quillbox - ' || fail "lexgrog finds no NAME line"
    # In a terminal without a display, as over ssh.
    [ "$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/quillbox" --version 2>/dev/null)" = "Quillbox $version" ] ||
        fail "quillbox --version does not say Quillbox $version"
}

# The desktop's view of the unpacked root as the system after installing the package: one
# file-type database of the system's types and the package's, the package's launcher entries,
# nothing from the user's own folders, and no desktop session to ask instead.
desktop_env() {
    env -i PATH="$PATH" HOME="$work/nothing" XDG_DATA_DIRS="$root/usr/share" \
        XDG_DATA_HOME="$work/nothing" XDG_CONFIG_HOME="$work/nothing" "$@"
}

check_file_type() {
    cp -n /usr/share/mime/packages/*.xml "$root/usr/share/mime/packages/"
    update-mime-database "$root/usr/share/mime" >"$work/mime.log" 2>&1
    update-desktop-database "$root/usr/share/applications"
    "$newbook" "$work" book.mdb
    "$newbook" "$work" book-copy
    sqlite3 "$work/foreign.mdb" 'PRAGMA application_id=5; CREATE TABLE t(a)'
    { printf '\0\1\0\0Standard Jet DB\0'; head -c 2028 /dev/zero; } >"$work/access.mdb"
    local name expected found
    while read -r name expected; do
        found=$(desktop_env xdg-mime query filetype "$work/$name")
        [ "$found" = "$expected" ] || fail "xdg-mime: $name is $found, not $expected"
        found=$(desktop_env gio info -a standard::content-type "$work/$name" |
            sed -n 's/^ *standard::content-type: //p')
        [ "$found" = "$expected" ] || fail "gio: $name is $found, not $expected"
        found=$(desktop_env "$qt_mimetype" "$work/$name")
        [ "$found" = "$expected" ] || fail "Qt: $name is $found, not $expected"
    done <<'TYPES'
book.mdb application/x-quillbox-book
book-copy application/x-quillbox-book
foreign.mdb application/vnd.ms-access
access.mdb application/vnd.ms-access
TYPES
    # By its name alone (not readable, or not there yet) a .mdb file is the common kind.
    found=$(desktop_env "$qt_mimetype" "$work/unread.mdb")
    [ "$found" = application/vnd.ms-access ] || fail "Qt: an unread .mdb is $found"
    found=$(desktop_env xdg-mime query default application/x-quillbox-book)
    [ "$found" = io.github.quillbox.Quillbox.desktop ] || fail "books open with '$found'"
}

# open_books PID: the books in $work the process holds open.
open_books() {
    local fd
    for fd in /proc/"$1"/fd/*; do
        readlink "$fd" || true
    done | grep "^$work/[^/]*\.mdb$" | xargs -r -n1 basename
}

# Starts the unpacked program as an ordinary user, headless, in the books' folder with a
# relative name, as a file manager would after a double-click: it must open that book.
check_program_opens_book() {
    local home=$work/home
    mkdir -m 700 -p "$home"
    local -a as_user=(env)
    if [ "$(id -u)" -eq 0 ]; then
        # root may write anywhere, the unpacked program's own folder too.
        chown nobody "$home" "$work" "$work/book.mdb"
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env)
    else
        chmod a-w "$root/usr/bin"
    fi
    (cd "$work" && exec "${as_user[@]}" QT_QPA_PLATFORM=offscreen HOME="$home" \
        XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home" TMPDIR="$home" \
        "$root/usr/bin/quillbox" book.mdb) >"$work/run.log" 2>&1 &
    pid=$!
    local waited=0
    while [ "$(open_books $pid)" != book.mdb ] && [ $waited -lt 100 ] && kill -0 $pid 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
    done
    [ "$(open_books $pid)" = book.mdb ] || fail "the installed program did not open book.mdb: $(cat "$work/run.log")"
    [ -d "$home/config/Quillbox" ] || fail "the installed program did not use \$XDG_CONFIG_HOME/Quillbox"
    kill $pid 2>/dev/null || fail "the installed program ended by itself: $(cat "$work/run.log")"
    wait $pid || true
    pid=
    chmod -R u+w "$root"
}

# dpkg -x installed nothing outside the scratch root, so removing it removes the package.
remove_package() {
    rm -rf "$root"
    [ ! -e "$root" ] || fail "the scratch root could not be removed"
}

build_package
check_control
check_contents
check_lintian
check_unpacked_files
check_file_type
check_program_opens_book
remove_package
if [ $failures -ne 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package checks passed"
