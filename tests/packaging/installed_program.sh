#!/usr/bin/env bash
# Installs the build into a scratch root, with `cmake --install` or, given a package, with
# `dpkg-deb -x`, and checks the installed program as a user would meet it: the installed
# tavrik-batch converts the installed demo scene into the same four files as the build tree's,
# man finds and renders the manual pages, bash-completion loads the completion, and the desktop
# entry is valid and names an installed program and an icon filed under its real size.
# Usage: installed_program.sh BUILD_DIR SOURCE_DIR [PACKAGE.deb]
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2") package=${3:+$(realpath "$3")}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
usr=$root/usr
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "skipped: $*"; }

version=$("$build/tavrik-batch" --version)
if [ -n "$package" ]; then
  dpkg-deb -x "$package" "$root"
  field() { dpkg-deb -f "$package" "$1"; }
  [ "tavrik-batch $(field Version)" = "$version" ] || fail "package version $(field Version), program: $version"
  depends=$(field Depends)
  needed=(libc6 libstdc++6 liblz4-1 fonts-wine fonts-liberation)
  [ -x "$build/tavrik" ] && needed+=(libqt6widgets6)
  for p in "${needed[@]}"; do
    [[ ", $depends," == *", $p "* || ", $depends," == *", $p,"* ]] || fail "Depends lacks $p: $depends"
  done
else
  cmake --install "$build" --prefix "$usr" > /dev/null
fi

# The installed tool on the installed demo scene, against the build tree's on the sources'.
[ -x "$usr/bin/tavrik-batch" ] || { echo "FAIL: no $usr/bin/tavrik-batch"; exit 1; }
[ "$("$usr/bin/tavrik-batch" --version)" = "$version" ] || fail "installed tavrik-batch --version"
mkdir "$root/built"
"$build/tavrik-batch" --quiet --output-dir "$root/built" "$source/resources/demo/"*.bmp
# The demo scene as bitmaps, and as PNG copies where the sources have them.
for ext in bmp png; do
  [ -e "$source/resources/demo/1-sprites.$ext" ] || continue
  out=$root/installed-$ext
  mkdir "$out"
  "$usr/bin/tavrik-batch" --quiet --output-dir "$out" "$usr/share/tavrik/demo/"*.$ext ||
    fail "the installed tool fails on the installed .$ext demo scene"
  [ "$(ls "$out")" = "$(printf 'Demo1.bin\nDemo1.lvl\nDemo2.bin\nDemo2.lvl')" ] ||
    fail "the installed tool wrote from .$ext: $(ls "$out" | paste -sd ' ' -)"
  for f in "$root/built/"*; do
    cmp "$f" "$out/${f##*/}" || fail "${f##*/} from the installed .$ext demo differs from the build tree's"
  done
done

# The documentation: the README beside the copyright, which gives the licence.
[ -f "$usr/share/doc/tavrik/README.md" ] || fail "no README in share/doc/tavrik/"
grep -q "^License: Expat" "$usr/share/doc/tavrik/copyright" || fail "the copyright gives no Expat (MIT) licence"
! grep -q "all rights" "$usr/share/doc/tavrik/copyright" || fail "the copyright still reserves all rights"
# The decoders of the compressed tables, as in the sources.
for f in tavrik_decoders.h tavrik_rle.s tavrik_lz4.s; do
  cmp -s "$source/decoders/$f" "$usr/share/tavrik/decoders/$f" || fail "decoders/$f is not installed as in the sources"
done
[ "$(ls "$usr/share/tavrik/decoders")" = "$(ls "$source/decoders")" ] ||
  fail "installed decoders: $(ls "$usr/share/tavrik/decoders" | paste -sd ' ' -)"

programs=(tavrik-batch)
[ -x "$build/tavrik" ] && programs+=(tavrik)
for p in "${programs[@]}"; do
  [ -x "$usr/bin/$p" ] || fail "$p is not installed in bin/"
done

# Manual pages: found by man under the installed tree, rendered without a warning, versioned.
if command -v man > /dev/null; then
  for p in "${programs[@]}"; do
    page=$(MANPATH="$usr/share/man" man -w "$p" 2> /dev/null) || { fail "man does not find $p"; continue; }
    [ "$page" = "$usr/share/man/man1/$p.1.gz" ] || fail "man finds $page for $p"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$page" 2> "$root/warnings")
    [ ! -s "$root/warnings" ] || fail "man warns about $p: $(cat "$root/warnings")"
    grep -q "^NOM" <<< "$text" || fail "the manual page of $p has no NOM section"
    grep -q "Tavrik ${version#tavrik-batch }" <<< "$text" || fail "the manual page of $p has no version"
  done
else
  skip "man (man-db) is not installed: manual pages not checked"
fi

# Completion: bash-completion finds it beside the installed program and loads it on demand.
if [ -f /usr/share/bash-completion/bash_completion ]; then
  loaded=$(PATH="$usr/bin:$PATH" XDG_DATA_DIRS="$usr/share" bash -c '
    source /usr/share/bash-completion/bash_completion
    __load_completion tavrik-batch && complete -p tavrik-batch' 2>&1) || true
  [[ $loaded == *"-F _tavrik_batch"*"tavrik-batch" ]] || fail "bash-completion does not load it: $loaded"
else
  skip "bash-completion is not installed: completion not checked"
fi

# Desktop entry and icon.
if [ -x "$build/tavrik" ]; then
  entry=$usr/share/applications/tavrik.desktop
  if [ ! -f "$entry" ]; then
    fail "no desktop entry $entry"
  else
    if command -v desktop-file-validate > /dev/null; then
      report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
      ! grep -qE "(error|warning|hint):" <<< "$report" || fail "desktop-file-validate: $report"
    else
      skip "desktop-file-validate (desktop-file-utils) is not installed"
    fi
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    icons=("$usr/share/icons/hicolor/"*/apps/"$icon.png")
    [ -f "${icons[0]}" ] || fail "no icon $icon.png under share/icons/hicolor/"
    for f in "${icons[@]}"; do
      [ -f "$f" ] || continue
      # PNG header: width and height as 32-bit big-endian numbers at byte 16.
      read -r w h < <(od -An -tu1 -j16 -N8 "$f" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
      dir=${f%/apps/*}
      [ "${dir##*/}" = "${w}x${h}" ] || fail "icon of ${w}x${h} pixels filed under ${dir##*/}"
    done
  fi
fi

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "installed tree checked: $(cd "$root" && find usr -type f | sort | paste -sd ' ' -)"
