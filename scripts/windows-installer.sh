#!/usr/bin/env bash
# Makes the Windows setup program from the staged program folder (the folder
# the portable zip holds: tovali3.exe, tovali3-batch.exe, the DLLs, Qt's
# plugins, the help pages) with NSIS (packaging/windows/tovali3.nsi).
#
#   scripts/windows-installer.sh STAGED_FOLDER VERSION OUTPUT.exe [ICON.ico]
#
# Every file of the staged folder is installed, and the uninstaller removes
# exactly those files and then the folders, deepest first, when they are
# empty. Prints the setup program's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

[ $# -ge 3 ] && [ $# -le 4 ] || {
    echo "usage: $0 STAGED_FOLDER VERSION OUTPUT.exe [ICON.ico]" >&2
    exit 2
}
stage=$(realpath "$1")
version=$2
output=$(realpath -m "$3")
icon=${4:+$(realpath "$4")}
[ -f "$stage/tovali3.exe" ] || { echo "$stage holds no tovali3.exe" >&2; exit 1; }
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "version $version is not x.y.z" >&2; exit 1; }
command -v makensis >/dev/null || { source scripts/deps.sh; tovali_install_deps nsis; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# NSIS reads "$" as the start of a variable; names never hold a double quote
# on Windows, so one is refused rather than quoted.
nsis_text() {
    case $1 in *'"'*) echo "a staged name holds a double quote: $1" >&2; exit 1 ;; esac
    printf '%s' "${1//\$/\$\$}"
}
windows_path() { local p=$1; printf '%s' "${p//\//\\}"; }

files=$work/files.nsh
{
    echo '!macro InstallFiles'
    (cd "$stage" && find . -mindepth 1 -type d -printf '%P\n' | LC_ALL=C sort) >"$work/dirs"
    (cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort) >"$work/files"
    mapfile -t dirs <"$work/dirs"
    for dir in "" "${dirs[@]}"; do
        echo "  SetOutPath \"\$INSTDIR${dir:+\\$(nsis_text "$(windows_path "$dir")")}\""
        while IFS= read -r file; do
            [ "$(dirname "$file")" = "${dir:-.}" ] || continue
            nsis_text "$file" >/dev/null
            echo "  File \"$stage/$file\""
        done <"$work/files"
    done
    echo '  SetOutPath "$INSTDIR"'
    echo '!macroend'
    echo '!macro UninstallFiles'
    while IFS= read -r file; do
        echo "  Delete \"\$INSTDIR\\$(nsis_text "$(windows_path "$file")")\""
    done <"$work/files"
    LC_ALL=C sort -r "$work/dirs" | while IFS= read -r dir; do
        echo "  RMDir \"\$INSTDIR\\$(nsis_text "$(windows_path "$dir")")\""
    done
    echo '!macroend'
} >"$files"

mkdir -p "$(dirname "$output")"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$files" -DOUTFILE="$output" \
    ${icon:+-DICON="$icon"} "$root/packaging/windows/tovali3.nsi"
echo "$output"
