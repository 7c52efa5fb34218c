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

# Each file goes in under a temporary name and is renamed over the old one: a running copy
# keeps its old file, and no half-copied program is ever left.
for file in VORN VORNupdate vorn.svg ./*.skn; do
    name=$(basename "$file")
    cp "$unpacked/$name" "$target/.$name.new"
    mv -f "$target/.$name.new" "$target/$name"
done
chmod 755 "$target/VORN" "$target/VORNupdate"

applications=${XDG_DATA_HOME:-$HOME/.local/share}/applications
mkdir -p "$applications"
sed "s|@FOLDER@|$target|g" "$unpacked/vorn.desktop.in" >"$applications/.vorn.desktop.new"
mv -f "$applications/.vorn.desktop.new" "$applications/vorn.desktop"

said="VORN $version was installed in $target (the menu entry: $applications/vorn.desktop). The database in $target/DBVORN was left as it was."
missing=$(ldd "$target/VORN" 2>/dev/null | grep 'not found' || true)
if [ -n "$missing" ]; then
    said="$said
Missing libraries (install the Debian packages qt6-base-dev libqt6sql6-sqlite qt6-svg-dev libzip4 libpq5):
$missing"
fi
if ! ls /usr/lib/*/qt6/plugins/sqldrivers/libqsqlpsql.so >/dev/null 2>&1; then
    said="$said
To keep the database on a PostgreSQL server, also install the Debian package libqt6sql6-psql."
fi
printf '%s\n' "$said" | tee "$target/install.log"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v notify-send >/dev/null 2>&1; then
    notify-send "VORN $version" "$said" 2>/dev/null || true
fi
