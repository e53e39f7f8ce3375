#!/usr/bin/env bash
# Checks of the player's installation: the desktop entry, the MIME type, the
# manual page against the player's own usage text, the installed tree and the
# Debian package. No display is needed.
#
#   packaging_test.sh CHECK PACKAGING_DIR BUILD_DIR PLAYER VERSION
set -euo pipefail

check=$1 packaging=$2 build=$3 player=$4 version=$5
mime_ns=http://www.freedesktop.org/standards/shared-mime-info

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

desktop_key() { sed -n "s/^$1=//p" "$packaging/mervane-player.desktop"; }
mime_type() {
  xmllint --xpath "string(/*[local-name()='mime-info' and namespace-uri()='$mime_ns']/*[local-name()='mime-type']/@type)" \
    "$packaging/mervane-player.xml"
}

# What an installation holds, relative to the prefix; nothing of the engine.
installed_files() {
  cat <<'EOF'
bin/mervane-player
share/applications/mervane-player.desktop
share/icons/hicolor/scalable/apps/mervane-player.svg
share/man/man1/mervane-player.1.gz
share/mime/packages/mervane-player.xml
EOF
}

# The player's run-time needs, as Debian 12 names the packages that provide
# libwx_gtk3u_core-3.2.so.0, libwx_baseu-3.2.so.0 and libopenal.so.1.
required_depends=(libwxgtk3.2-1 libwxbase3.2-1 libopenal1)

check_desktop_entry() {
  local entry=$packaging/mervane-player.desktop out
  out=$(desktop-file-validate "$entry" 2>&1) || true
  [ -z "$out" ] || fail "desktop-file-validate: $out"

  local type
  type=$(mime_type)
  local -a table=(  # key | expected value
    "Type|Application"
    "Exec|mervane-player %f"
    "TryExec|mervane-player"
    "Terminal|false"
    "MimeType|$type;"
    "Icon|mervane-player"
    "NoDisplay|true"
  )
  local row
  for row in "${table[@]}"; do
    expect_eq "desktop entry ${row%%|*}" "$(desktop_key "${row%%|*}")" "${row#*|}"
  done
  [[ "$(desktop_key Categories)" == *Game\;* ]] || fail "desktop entry Categories lacks Game"
  [ -f "$packaging/$(desktop_key Icon).svg" ] || fail "no icon file for $(desktop_key Icon)"
  xmllint --noout "$packaging/$(desktop_key Icon).svg" || fail "icon is not well-formed SVG"
}

check_mime_type() {
  local xml=$packaging/mervane-player.xml type
  xmllint --noout "$xml" || fail "MIME definition is not well-formed"
  type=$(mime_type)
  expect_eq "MIME type in the freedesktop namespace" "$type" "application/x-mervane-package"

  # Build a MIME database from this definition alone, as the Debian trigger
  # does from /usr/share/mime/packages; the tool reports errors on stderr only.
  local share=$scratch/share
  mkdir -p "$share/mime/packages"
  cp "$xml" "$share/mime/packages/"
  local errors
  errors=$(XDG_DATA_HOME=$share XDG_DATA_DIRS=$share update-mime-database "$share/mime" 2>&1 >/dev/null) || true
  [ -z "$errors" ] || fail "update-mime-database: $errors"
  # Case-sensitive: the player takes a package only when ".mvk" is in small letters.
  grep -qxF "50:$type:*.mvk:cs" "$share/mime/globs2" ||
    fail "globs2 has no case-sensitive *.mvk for $type: $(cat "$share/mime/globs2")"
  [ -f "$share/mime/$type.xml" ] || fail "update-mime-database made no $type.xml"
}

# Option names in the usage text: the heading lines ("-c=PATH/URL,
# --Server=PATH/URL") and the words of the example command lines.
usage_options() {
  awk '
    /^-/ { n = split($0, parts, ", "); for (i = 1; i <= n; i++) print parts[i] }
    /^Example:/ { for (i = 2; i <= NF; i++) if ($i ~ /^-/) print $i }
  ' | sed 's/=.*//' | sort -u
}

check_manual_page() {
  local page=$packaging/mervane-player.1 warnings
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warnings: $warnings"

  local usage status=0
  usage=$(env -u DISPLAY -u WAYLAND_DISPLAY "$player" --help) || status=$?
  expect_eq "exit status of --help" "$status" 0
  local -a options
  mapfile -t options < <(printf '%s\n' "$usage" | usage_options)
  [ "${#options[@]}" -ge 11 ] || fail "too few options found in the usage text: ${options[*]}"
  options+=("-?" --help --version)

  # The rendered page, with the typographic hyphens and minus signs as "-".
  local text
  text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | sed 's/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g')
  local option
  for option in "${options[@]}"; do
    # Written as an option: not part of a longer word or of a longer option.
    grep -qP "(^|[\s,\[(|])\Q$option\E(?=[=\s,\])|]|$)" <<<"$text" ||
      fail "the manual page does not document $option"
  done

  # Names the player reads or uses, each of which a user may need to look up.
  local -a names=(MRVClient.cfg Fullscreen ResWidth ResHeight MRVStartup.mvk
    MRVClient.DLL OpenAL32.DLL wrap_oal.DLL MERVANE_TRACE HTTP_PROXY ProgramFiles APPDATA
    /opt/Ombrica/Player/ \~/.local/share/Ombrica/Player/ "EXIT STATUS" EXAMPLES)
  local name
  for name in "${names[@]}"; do
    grep -qF -- "$name" <<<"$text" || fail "the manual page does not mention $name"
  done

  local line
  line=$(env -u DISPLAY -u WAYLAND_DISPLAY "$player" --version)
  expect_eq "--version" "$line" "Mervane Standalone Engine $version"
  local version_line
  version_line=$(grep -m1 '^Mervane Standalone Engine' <<<"$usage") ||
    fail "the usage text has no version line"
  grep -qF "${version_line:-?}" <<<"$text" ||
    fail "the manual page does not show the usage text's version line"
  grep -q "^\.TH .*\"mervane\\\\-player $version\"" "$page" || fail "the manual page is not of version $version"
}

check_install_tree() {
  local root=$scratch/root log=$scratch/install.log
  DESTDIR=$root cmake --install "$build" --prefix /usr >"$log" 2>&1 || {
    cat "$log" >&2
    fail "cmake --install failed"
    return
  }
  expect_eq "installed files" "$(cd "$root/usr" && find . ! -type d | sed 's|^\./||' | sort)" \
    "$(installed_files)"
  if find "$root" -iname '*.dll' | grep . >&2; then fail "an engine library was installed"; fi

  zcat "$root/usr/share/man/man1/mervane-player.1.gz" | cmp -s - "$packaging/mervane-player.1" ||
    fail "the installed manual page differs from packaging/mervane-player.1"
  local out
  out=$(desktop-file-validate "$root/usr/share/applications/mervane-player.desktop" 2>&1) || true
  [ -z "$out" ] || fail "installed desktop entry: $out"
  [ -x "$root/usr/bin/mervane-player" ] || fail "the installed player is not executable"
  # The installed player must not reach back into the build tree.
  if readelf -d "$root/usr/bin/mervane-player" | grep -E 'RPATH|RUNPATH' | grep -F "$build" >&2; then
    fail "the installed player keeps a run path into the build tree"
  fi
  expect_eq "installed player --version" \
    "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/mervane-player" --version)" \
    "Mervane Standalone Engine $version"
}

check_debian_package() {
  local log=$scratch/cpack.log
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$log" 2>&1 || {
    cat "$log" >&2
    fail "cpack failed"
    return
  }
  local -a debs
  mapfile -t debs < <(find "$scratch/out" -maxdepth 1 -name '*.deb')
  expect_eq "number of packages made" "${#debs[@]}" 1
  [ "${#debs[@]}" -eq 1 ] || return
  local deb=${debs[0]}
  expect_eq "package file name" "$(basename "$deb")" \
    "mervane-player_${version}_$(dpkg --print-architecture).deb"

  local -a table=(  # field | expected value
    "Package|mervane-player"
    "Version|$version"
    "Architecture|$(dpkg --print-architecture)"
    "Section|games"
    "Priority|optional"
  )
  local row
  for row in "${table[@]}"; do
    expect_eq "control field ${row%%|*}" "$(dpkg-deb -f "$deb" "${row%%|*}")" "${row#*|}"
  done
  [[ "$(dpkg-deb -f "$deb" Maintainer)" == *@* ]] || fail "no Maintainer address"
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "no long Description"

  # Package names in Depends, without versions and alternatives.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends | sed 's/[,|]/\n/g' | sed 's/(.*)//; s/ //g' | sort -u)
  local package
  for package in "${required_depends[@]}"; do
    grep -qxF "$package" <<<"$depends" || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
  done

  local contents
  contents=$(dpkg-deb -c "$deb")
  expect_eq "package contents" \
    "$(awk '$1 !~ /^d/ { print $6 }' <<<"$contents" | sed 's|^\./usr/||' | sort)" \
    "$(installed_files)"
  grep -q '^-rwxr-xr-x root/root .* \./usr/bin/mervane-player$' <<<"$contents" ||
    fail "the player is not an executable owned by root: $(grep bin/ <<<"$contents")"
  # The desktop, MIME and manual page databases are refreshed by dpkg
  # triggers of the packages that own them: no maintainer scripts.
  expect_eq "control archive members" \
    "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep . | sort | tr '\n' ' ')" \
    "control md5sums "
}

"check_$check"
if [ "$failures" -ne 0 ]; then
  echo "$check: $failures failure(s)" >&2
  exit 1
fi
echo "$check: ok"
