#!/bin/sh
# Runs inside the unpacked installer: puts the programs and skins into the program folder and
# the program into the user's applications menu. The clinic's DBVORN/ is never touched.
set -eu
version=${1:-}
unpacked=$(pwd)

# The folder the installer lies in, when it is a VORN program folder (the updater saves it
# there); else the user's own VORN folder.
case "${ARCHIVE_DIR:-.}" in
/*) lies_in=$ARCHIVE_DIR ;;
*) lies_in=${USER_PWD:-$unpacked}/${ARCHIVE_DIR:-.} ;;
esac
lies_in=$(cd "$lies_in" && pwd)
if [ -f "$lies_in/VORN" ] || [ -d "$lies_in/DBVORN" ]; then
    target=$lies_in
else
    target=$HOME/VORN
fi
mkdir -p "$target"

# One installer at a time in a folder (the lock is on the folder itself, so no file can be
# planted in its place); a second one waits for the first to finish.
exec 9<"$target"
flock 9
# What an installer that was killed left behind.
rm -f "$target"/.VORN-install.*

# Each file goes in under a temporary name of its own (made new, never an existing file or
# link) and is renamed over the old one: a running copy keeps its old file, and no half-copied
# program is ever left.
for file in VORN VORNupdate VORNimport vorn.svg ./*.skn; do
    name=$(basename "$file")
    temp=$(mktemp "$target/.VORN-install.XXXXXX")
    cat "$unpacked/$name" >"$temp"
    case "$name" in VORN | VORNupdate | VORNimport) chmod 755 "$temp" ;; *) chmod 644 "$temp" ;; esac
    mv -f "$temp" "$target/$name"
done

# The menu entry names the folder as the desktop-entry standard wants it written: in Exec
# a quoted argument ("\", "\"", "`" and "$" escaped, "%" doubled), in every value the string
# escapes (\\, \n, \t, \r). The folder's name is data to awk, never part of a script.
applications=${XDG_DATA_HOME:-$HOME/.local/share}/applications
mkdir -p "$applications"
entry=$(mktemp "$applications/.VORN-install.XXXXXX")
VORN_FOLDER=$target awk '
function text(s,    out, i, c) {
    out = ""
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\") out = out "\\\\"
        else if (c == "\n") out = out "\\n"
        else if (c == "\t") out = out "\\t"
        else if (c == "\r") out = out "\\r"
        else out = out c
    }
    return out
}
function argument(s,    out, i, c) {
    out = ""
    for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\" || c == "\"" || c == "`" || c == "$") out = out "\\" c
        else if (c == "%") out = out "%%"
        else out = out c
    }
    return "\"" out "\""
}
BEGIN { folder = ENVIRON["VORN_FOLDER"] }
/^Exec=/ { print "Exec=" text(argument(folder "/VORN")); next }
/^Path=/ { print "Path=" text(folder); next }
/^Icon=/ { print "Icon=" text(folder "/vorn.svg"); next }
{ print }
' "$unpacked/vorn.desktop.in" >"$entry"
chmod 644 "$entry"
mv -f "$entry" "$applications/vorn.desktop"

said="VORN $version was installed in $target (the menu entry: $applications/vorn.desktop). The database in $target/DBVORN was left as it was."
missing=$(for p in VORN VORNupdate VORNimport; do ldd "$target/$p" 2>/dev/null; done | grep "not found" | sort -u || true)
if [ -n "$missing" ]; then
    said="$said
Missing libraries (install the Debian packages qt6-base-dev libqt6sql6-sqlite qt6-svg-dev libzip4 libpq5 libsodium23 libmdb3):
$missing"
fi
if ! ls /usr/lib/*/qt6/plugins/sqldrivers/libqsqlpsql.so >/dev/null 2>&1; then
    said="$said
To keep the database on a PostgreSQL server, also install the Debian package libqt6sql6-psql."
fi
# The log is whole or absent: whoever waits for it never reads it half written.
log=$(mktemp "$target/.VORN-install.XXXXXX")
printf '%s\n' "$said" >"$log"
chmod 644 "$log"
mv -f "$log" "$target/install.log"
printf '%s\n' "$said"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v notify-send >/dev/null 2>&1; then
    notify-send "VORN $version" "$said" 2>/dev/null || true
fi
