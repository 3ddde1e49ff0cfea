#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack and checks it the
# way a user's machine would meet it: its control fields, its files, lintian,
# the menu entry and software-centre entry validators, a photo converted by
# the unpacked tovali3-batch, and (as root only) apt-get install followed by
# apt-get purge leaving no file behind.
#   PackageTest.sh <build folder> <source folder> <scratch folder> <version>
set -euo pipefail
build=$1 source=$2 scratch=$3 version=$4
arch=$(dpkg --print-architecture)
id=jp.quorbel.Tovali3

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$scratch" && mkdir -p "$scratch"
cpack --config "$build/CPackConfig.cmake" -B "$scratch/cpack" > "$scratch/cpack.log" ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$scratch/cpack/tovali3_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb"); CPack wrote: $(ls "$scratch/cpack")"

# The control fields a package manager and a software centre read.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tovali3 ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^Quorbel\ \<[^@]+@[^@]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[[ "$(field Description)" == *$'\n'* ]] || fail "Description has no long part"
depends=$(field Depends)
for needed in libc6 libqt6widgets6 libjpeg62-turbo libpng16-16 libgif7 fonts-ipafont-gothic \
    fonts-ipafont-mincho qt6-translations-l10n qt6-qpa-plugins; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done

# The version is written in three places; a release bumps all of them.
changelog=$(sed -n '1s/^tovali3 (\([^)]*\)).*/\1/p' "$source/packaging/changelog")
[ "$changelog" = "$version" ] || fail "packaging/changelog is at $changelog, not $version"
grep -q "<release version=\"$version\"" "$source/resources/$id.metainfo.xml" ||
    fail "the metainfo has no release $version"

# Every file under /usr, owned by root.
dpkg-deb -c "$deb" > "$scratch/contents"
for path in bin/tovali3 bin/tovali3-batch share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/256x256/apps/tovali3.png \
    share/man/man1/tovali3.1.gz share/man/man1/tovali3-batch.1.gz \
    share/man/ja/man1/tovali3.1.gz share/man/ja/man1/tovali3-batch.1.gz \
    share/tovali3/docs/manual.html share/tovali3/docs/images/main-top.png \
    share/doc/tovali3/copyright share/doc/tovali3/changelog.gz; do
    grep -q " \./usr/$path\$" "$scratch/contents" || fail "the package lacks /usr/$path"
done
awk '$NF !~ /^\.\/(usr\/.*)?$/ { exit 1 }' "$scratch/contents" || fail "a file outside /usr"
awk '$2 != "root/root" { exit 1 }' "$scratch/contents" || fail "a file not owned by root"

lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"

# The unpacked, stripped program converts a photo exactly as the built one.
for run in unpacked built; do
    mkdir -p "$scratch/$run/config"
    cp "$source/tests/data/jpeg/colour.jpg" "$scratch/$run/"
done
XDG_CONFIG_HOME=$scratch/unpacked/config "$root/usr/bin/tovali3-batch" \
    --set PIC_SAVE/TYPE_PNG=1 "$scratch/unpacked/colour.jpg" > "$scratch/unpacked.out" ||
    fail "the unpacked tovali3-batch failed"
XDG_CONFIG_HOME=$scratch/built/config "$build/app/tovali3-batch" \
    --set PIC_SAVE/TYPE_PNG=1 "$scratch/built/colour.jpg" > /dev/null
written=$(cat "$scratch/unpacked.out")
[ "$written" = "$scratch/unpacked/s-colour.png" ] || fail "tovali3-batch wrote '$written'"
cmp "$written" "$scratch/built/s-colour.png" || fail "the unpacked program's output differs"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: apt-get install and purge (the test does not run as root)"
    exit 0
fi
if dpkg-query -W -f='${Status}' tovali3 2>/dev/null | grep -q "ok installed"; then
    echo "SKIPPED: apt-get install and purge (tovali3 is already installed here)"
    exit 0
fi

# Installing must add this one package: every Depends is already here.
apt=(apt-get -o DPkg::Lock::Timeout=300 -y -q --no-install-recommends)
installs=$("${apt[@]}" --simulate install "$deb" | grep '^Inst ' | cut -d' ' -f2)
[ "$installs" = tovali3 ] || fail "installing would also add: $installs"

traces() { find /usr /etc /var/lib/dpkg/info -iname '*tovali*' 2>/dev/null | sort; }
traces > "$scratch/before"
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$deb" > "$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log"; fail "apt-get install"; }
dpkg-query -L tovali3 > "$scratch/installed"
status=0
/usr/bin/tovali3-batch --version | grep -qx "tovali3-batch $version" || status=1
DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge tovali3 >> "$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log"; fail "apt-get purge"; }
[ $status -eq 0 ] || fail "the installed tovali3-batch does not answer --version"
traces > "$scratch/after"
diff "$scratch/before" "$scratch/after" || fail "apt-get purge left files behind"
while read -r path; do
    [ -d "$path" ] || [ ! -e "$path" ] || fail "apt-get purge left $path"
done < "$scratch/installed"
echo "installed and purged without a trace"
