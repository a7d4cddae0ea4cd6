#!/usr/bin/env bash
# Installing and packaging: cmake --install puts the programs, the desktop entry,
# the icons, the metadata and the manual pages in their places; cpack makes a
# Debian package with Qt's runtime among its dependencies; the package unpacks
# into a throw-away root, and its desktop entry, metadata and manual pages pass
# their validators.
build=$1
. "$(dirname "$0")/checks.sh"
id=net.zebomorlix.ZeboMorlix
expected=(
    bin/zebo-morlix
    bin/zebo-morlix-render
    share/applications/$id.desktop
    share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/$id.svg
    share/man/man1/zebo-morlix.1.gz
    share/man/man1/zebo-morlix-render.1.gz
    share/doc/zebo-morlix/changelog.gz
    share/doc/zebo-morlix/copyright
)
for s in 16 22 24 32 48 64 128 256; do
    expected+=(share/icons/hicolor/${s}x$s/apps/$id.png)
done

check_tree() { # root what
    for f in "${expected[@]}"; do
        [ -f "$1/$f" ] || fail "$2: $f is missing"
    done
    desktop-file-validate "$1/share/applications/$id.desktop" || fail "$2: desktop entry"
    appstreamcli validate --no-net --explain "$1/share/metainfo/$id.metainfo.xml" >"$work/as.log" 2>&1 ||
        fail "$2: metainfo: $(cat "$work/as.log")"
    for m in "$1"/share/man/man1/*.1*; do
        out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$m" 2>&1 >/dev/null)
        [ -z "$out" ] || fail "$2: manual page $(basename "$m"): $out"
    done
    for s in 16 48 256; do
        head -c 8 "$1/share/icons/hicolor/${s}x$s/apps/$id.png" | od -An -c | grep -q 'P   N   G' ||
            fail "$2: the ${s} pixel icon is not a PNG"
    done
}

cmake --install "$build" --prefix "$work/root" >/dev/null || fail "cmake --install"
check_tree "$work/root" install
"$work/root/bin/zebo-morlix-render" --keys x --png "$work/x.png" || fail "the installed renderer does not run"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)
if [ -n "$deb" ]; then
    depends=$(dpkg-deb -f "$deb" Depends)
    grep -q 'libqt6gui6' <<<"$depends" || fail "package depends on no Qt runtime: $depends"
    [ "$(dpkg-deb -f "$deb" Package)" = zebo-morlix ] || fail "package name"
    dpkg-deb -x "$deb" "$work/debroot" || fail "the package does not unpack"
    check_tree "$work/debroot/usr" package
    grep -q '^Recommends: qt6-wayland' <(dpkg-deb -f "$deb") || fail "the package does not recommend qt6-wayland"
    # Debian's own checker finds nothing to say.
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian: $(grep -cE '^[EW]: ' "$work/lintian.log") errors or warnings"
else
    fail "cpack made no package"
fi

# Without dpkg-shlibdeps there is no package (it would depend on nothing), and
# the message says what to install.
mkdir -p "$work/bin"
for f in /usr/bin/* /bin/*; do
    [ "$(basename "$f")" = dpkg-shlibdeps ] || ln -sf "$f" "$work/bin/" 2>/dev/null
done
(cd "$work" && PATH=$work/bin cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/nopkg" >"$work/cpack.log" 2>&1) &&
    fail "cpack made a package without dpkg-shlibdeps"
grep -q 'install dpkg-dev' "$work/cpack.log" || fail "no dpkg-shlibdeps: $(cat "$work/cpack.log")"
ls "$work"/nopkg/*.deb >/dev/null 2>&1 && fail "a package was left without dpkg-shlibdeps"

finish "install and package"
