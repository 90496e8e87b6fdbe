#!/bin/sh
# The platform's sources at the commits scripts/platform.pins names,
# unpacked into deps/platform-src/<name>:
#
#   APSUITE_PLATFORM_SOURCES=<folder> scripts/fetch-platform.sh
#       takes <name>-<short commit>.tar.gz from the folder (made with
#       `git archive`) and checks that it carries the pinned commit;
#   scripts/fetch-platform.sh
#       clones each upstream repository at the pinned commit.
#
# Nothing is done for a library already unpacked at its pinned commit.
set -eu
# Resolved against the caller's folder, before the change to the tree's.
[ -z "${APSUITE_PLATFORM_SOURCES:-}" ] || APSUITE_PLATFORM_SOURCES=$(cd "$APSUITE_PLATFORM_SOURCES" && pwd)
cd "$(dirname "$0")/.."
dest=deps/platform-src
mkdir -p "$dest"

# Unpacks one library from an archive of the sources folder.
from_archive() { # name commit
  archive=$APSUITE_PLATFORM_SOURCES/$1-$(echo "$2" | cut -c1-7).tar.gz
  [ -f "$archive" ] || { echo "fetch-platform: no $archive" >&2; return 1; }
  carried=$(gzip -dc "$archive" | git get-tar-commit-id)
  if [ "$carried" != "$2" ]; then
    echo "fetch-platform: $archive holds commit $carried, not the pinned $2" >&2
    return 1
  fi
  mkdir "$dest/$1.new"
  tar -xzf "$archive" -C "$dest/$1.new" --strip-components=1
}

# Clones one library from its repository and keeps the pinned commit's tree.
from_repository() { # name commit url
  clone=$dest/$1.git
  rm -rf "$clone"
  git init -q --bare "$clone"
  # Servers that refuse a fetch by commit id get a full clone instead.
  git -C "$clone" fetch -q --depth 1 "$3" "$2" 2>/dev/null ||
    git -C "$clone" fetch -q "$3" '+refs/heads/*:refs/heads/*' || { rm -rf "$clone"; return 1; }
  mkdir "$dest/$1.new"
  git -C "$clone" archive "$2" | tar -x -C "$dest/$1.new"
  rm -rf "$clone"
}

grep -v '^#' scripts/platform.pins | while read -r name commit _abiversion url; do
  [ -n "$name" ] || continue
  [ "$(cat "$dest/$name/.commit" 2>/dev/null)" = "$commit" ] && continue
  rm -rf "${dest:?}/$name" "$dest/$name.new"
  if [ -n "${APSUITE_PLATFORM_SOURCES:-}" ]; then
    from_archive "$name" "$commit" || exit 1
  elif ! from_repository "$name" "$commit" "$url"; then
    rm -rf "$dest/$name.new"
    cat >&2 <<EOT
fetch-platform: cannot fetch $name at $commit from $url.
  Either let this machine reach that repository, or set APSUITE_PLATFORM_SOURCES
  to a folder that holds $name-$(echo "$commit" | cut -c1-7).tar.gz, made with
  git archive --prefix=$name-$(echo "$commit" | cut -c1-7)/ $commit | gzip
EOT
    exit 1
  fi
  echo "$commit" > "$dest/$name.new/.commit"
  mv "$dest/$name.new" "$dest/$name"
  echo "fetch-platform: $name at $(echo "$commit" | cut -c1-7)"
done
