# Sourced by the fetch scripts: apt with a sources list, lists and cache of
# its own, so packages of another release or architecture can be
# downloaded without touching the machine's apt configuration.
#
#   private_apt_init "deb [arch=arm64] MIRROR bookworm main" ...
#   private_apt download PACKAGE ...     (into the current folder)
#   private_apt_unpack DEST              (dpkg -x of what was downloaded)
#   private_apt_stamp STAMP              (see below)
#
# MIRROR in a line stands for the Debian archive the machine already uses.
#
# Nothing is pinned: each fetch takes what the archive has today and checks
# what its users need of it. Its stamp, written last, names the versions it
# took; while the stamp is there, nothing is fetched again:
#
#   fetched STAMP      true when the stamp is there; in a stage of ./run-tests
#                      its versions go to the stage's summary (scripts/stages.sh)

private_apt_mirror() {
  mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\/\?\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $2 ~ /debian\/?$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
  [ -n "$mirror" ] || { echo "private-apt: no Debian archive found in the apt sources" >&2; return 1; }
  echo "$mirror"
}

# Creates the private state in a temporary folder ($private_apt_dir, removed
# at exit) and reads the package lists of the given sources lines.
private_apt_init() {
  mirror=$(private_apt_mirror) || return 1
  private_apt_dir=$(mktemp -d)
  trap 'rm -rf "$private_apt_dir"' EXIT
  mkdir -p "$private_apt_dir/lists/partial" "$private_apt_dir/cache/archives/partial" "$private_apt_dir/debs"
  for line in "$@"; do
    echo "$line" | sed "s|MIRROR|$mirror|"
  done > "$private_apt_dir/sources.list"
  private_apt -qq update
}

# Foreign architectures named in the sources lines are known to this apt
# only, never to the machine's dpkg.
private_apt() {
  native=$(dpkg --print-architecture)
  archs=$(sed -n 's/.*\[arch=\([^] ]*\)\].*/\1/p' "$private_apt_dir/sources.list" | tr ',' '\n' | sort -u)
  arch_options="-o APT::Architectures::=$native"
  for a in $archs; do arch_options="$arch_options -o APT::Architectures::=$a"; done
  # shellcheck disable=SC2086
  apt-get -o Dir::Etc::SourceList="$private_apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null \
          -o Dir::State::Lists="$private_apt_dir/lists" -o Dir::Cache="$private_apt_dir/cache" \
          -o Dir::State::Status=/dev/null -o APT::Sandbox::User=root \
          -o APT::Architecture="$native" $arch_options "$@"
}

private_apt_download() {
  (cd "$private_apt_dir/debs" && private_apt -qq download "$@")
}

private_apt_unpack() {
  mkdir -p "$1"
  for deb in "$private_apt_dir"/debs/*.deb; do
    dpkg -x "$deb" "$1"
  done
}

fetched() {
  [ -f "$1" ] || return 1
  [ -z "${APSUITE_RESULTS:-}" ] || cat "$1" >> "$APSUITE_RESULTS/versions"
}

# Writes the stamp, last: "package version" of each package downloaded and
# "name version (source)" of each source tarball (its upstream version);
# then prints it.
private_apt_stamp() {
  for file in "$private_apt_dir"/debs/*.deb "$private_apt_dir"/build/*.orig.tar.*; do
    [ -e "$file" ] || continue
    case $file in
      *.deb)        dpkg-deb --show --showformat='${Package} ${Version}\n' "$file" ;;
      *.orig.tar.*) basename "$file" | sed 's/^\(.*\)_\(.*\)\.orig\.tar\..*/\1 \2 (source)/' ;;
    esac
  done > "$1.new"
  mv "$1.new" "$1"
  echo "$(basename "$0" .sh): $(paste -sd ',' "$1" | sed 's/,/, /g')"
  fetched "$1"
}
