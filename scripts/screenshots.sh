#!/usr/bin/env bash
# Makes the README's screenshots: builds what is missing, runs Quillbox under Xvfb with the
# openbox window manager at 1280x1024 on a generated sample book and saves each book page, the
# maximized window and the navigation panel as docs/screenshots/*.png.
# Usage: scripts/screenshots.sh [build folder, default build/default]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
scripts/install-deps.sh
if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
fi
cmake --build "$build" --target quillbox qb_makebook

# Click points inside the window (the window manager's frame is outside) in the program's
# fixed layout at scale 1: the book tabs, the inner tabs, the 刷新 button (at the same place
# on every book), a grid row, the "其他" menu and its item "导航".
readonly TAB_CONTACTS="24 36" TAB_WEBSITES="72 36" TAB_SERIALS="126 36"
readonly TAB_ENTRY="74 62" REFRESH="422 199" OTHER_MENU="60 10" NAVIGATION_ITEM="84 56"
grid_row() { echo "64 $((107 + ($1 - 1) * 20))"; }

click() { # click WINDOW "X Y"
    # shellcheck disable=SC2086 # the point is two words on purpose
    xdotool mousemove --window "$1" $2 click 1
    sleep 0.4
}

shoot() { # shoot WINDOW FILE
    import -window "$1" -strip "$2"
}

show_book() { # show_book WINDOW TAB ROW: the book's count and the position of one row
    click "$1" "$2"
    click "$1" "$REFRESH"
    click "$1" "$(grid_row "$3")"
}

maximize() { # maximize WINDOW add|remove
    wmctrl -i -r "$1" -b "$2,maximized_vert,maximized_horz"
    sleep 1
}

# Runs inside the X server that xvfb-run started.
take_screenshots() { # take_screenshots WORKDIR OUTDIR
    local work=$1 out=$2
    openbox >"$work/openbox.log" 2>&1 &
    local wm=$!
    sleep 1
    # The program's own temporary folder and configuration folder keep this run apart from a
    # Quillbox the developer has open; C.UTF-8 gives the program's own Chinese date format.
    TMPDIR=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work LC_ALL=C.UTF-8 \
        "$work/quillbox" >"$work/quillbox.log" 2>&1 &
    local program=$! main panel
    # shellcheck disable=SC2064 # the program's id is known now
    trap "kill $program $wm 2>/dev/null" EXIT
    main=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillbox--book')
    sleep 1
    show_book "$main" "$TAB_CONTACTS" 3
    shoot "$main" "$out/contacts.png"
    click "$main" "$TAB_ENTRY"
    shoot "$main" "$out/contacts-entry.png"
    show_book "$main" "$TAB_WEBSITES" 5
    shoot "$main" "$out/websites.png"
    show_book "$main" "$TAB_SERIALS" 2
    shoot "$main" "$out/serials.png"
    show_book "$main" "$TAB_CONTACTS" 3
    maximize "$main" add
    shoot "$main" "$out/contacts-maximized.png"
    maximize "$main" remove
    click "$main" "$OTHER_MENU"
    click "$main" "$NAVIGATION_ITEM"
    panel=$(timeout 30 xdotool search --sync --onlyvisible --name '导航面板')
    sleep 1
    shoot "$panel" "$out/navigation.png"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of the program keeps its preferences beside itself in the temporary folder, so the
# build tree's own preferences file stays as the developer left it.
cp "$build/src/app/quillbox" "$work/"
"$build/bench/qb_makebook" "$work/book.mdb" 200 60 40
printf '[lastpath]\r\npathmdb=%s\r\n' "$work/book.mdb" >"$work/quillbox.ini"
mkdir -p docs/screenshots
# xvfb-run is a POSIX shell script and passes no exported bash functions: hand them over as text.
inside="$(declare -p TAB_CONTACTS TAB_WEBSITES TAB_SERIALS TAB_ENTRY REFRESH OTHER_MENU NAVIGATION_ITEM)
$(declare -f grid_row click shoot show_book maximize take_screenshots)
set -euo pipefail
take_screenshots \"\$@\""
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$inside" _ "$work" "$PWD/docs/screenshots"
ls -l docs/screenshots
