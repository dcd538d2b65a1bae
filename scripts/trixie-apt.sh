# Sourced: apt options for a private apt state that knows only trixie's source
# packages (deb-src, no deb line), kept in the cache folder. The system's
# sources and lists stay as they are.
trixie_apt_dir="${QIBOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qibor}/apt-trixie-src"
trixie_apt_opts=(
  -o "Dir::Etc::SourceList=/dev/null"
  -o "Dir::Etc::SourceParts=$trixie_apt_dir/sources.list.d"
  -o "Dir::Etc::Preferences=/dev/null"
  -o "Dir::Etc::PreferencesParts=$trixie_apt_dir/preferences.d"
  -o "Dir::State::Lists=$trixie_apt_dir/lists"
  -o "Dir::State::status=/dev/null"
  -o "Dir::Cache=$trixie_apt_dir/cache"
  -o "APT::Sandbox::User=$(id -un)"
  -o "Debug::NoLocking=1"
)

# Writes the deb-src entry and reads trixie's source lists, unless that was
# done in the last day.
trixie_apt_update() {
  mkdir -p "$trixie_apt_dir/sources.list.d" "$trixie_apt_dir/preferences.d" \
    "$trixie_apt_dir/lists/partial" "$trixie_apt_dir/cache/archives/partial"
  local entry="$trixie_apt_dir/sources.list.d/trixie-src.sources"
  cat >"$entry.new" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  mv "$entry.new" "$entry"
  if [ -n "$(find "$trixie_apt_dir/lists" -maxdepth 1 -name '*_Sources*' -mmin -1440 2>/dev/null)" ]; then
    return 0
  fi
  apt-get "${trixie_apt_opts[@]}" update -qq
  # apt-get update keeps a list's old date when it did not change.
  touch "$trixie_apt_dir"/lists/*_Sources* 2>/dev/null || true
}
