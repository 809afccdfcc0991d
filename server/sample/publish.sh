#!/usr/bin/env bash
# Publishes a release for the game's self-update on the vendor web server.
#
#   publish.sh VERSION INSTALLER SECRETKEY CONTENT
#
# VERSION is the release's version text of dotted decimal numbers (1.0.2),
# INSTALLER the installer to publish, SECRETKEY the vendor's minisign secret
# key, CONTENT the server's content folder (its --content option).
#
# The installer is signed with the trusted comment "pegsquare VERSION
# pegsetup.exe"; the game runs an installer only when that signature checks
# out against the key it was built with and the comment names the version
# it was offered. minisign asks for the key's password if it has one.
#
# Each file is written beside its place under a temporary name and renamed
# into place, so no player ever downloads half a file. The installer goes
# first, its signature next and the version text last: until the version
# text names the new release, no player is offered it.
set -euo pipefail

usage() {
    echo "usage: $0 VERSION INSTALLER SECRETKEY CONTENT" >&2
    echo "  VERSION is dotted decimal numbers such as 1.0.2" >&2
    exit 2
}

refuse() {
    echo "$0: $1" >&2
    exit 2
}

[[ $# -eq 4 ]] || usage
version=$1
installer=$2
key=$3
content=$4

# The game reads at most 64 characters of version text, and only digits and
# dots; anything else would never be offered to a player.
[[ ${#version} -le 64 && $version =~ ^[0123456789]+(\.[0123456789]+)*$ ]] || usage
[[ -f $installer ]] || refuse "the installer $installer is not a regular file"
[[ -f $key && -r $key ]] || refuse "cannot read the secret key $key"

# minisign and mktemp would take a name starting with "-" for an option.
for name in installer key content; do
    if [[ ${!name} == -* ]]; then
        printf -v "$name" '%s' "./${!name}"
    fi
done

folder=$content/pegsquare
mkdir -p "$folder"

# Temporary names in the same folder, so each rename replaces the old file
# in one step. Whatever is left of them when the script stops is removed.
temporaries=()
cleanup() {
    if [[ ${#temporaries[@]} -gt 0 ]]; then
        rm -f "${temporaries[@]}"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

new_installer=$(mktemp "$folder/.pegsetup.exe.XXXXXX")
temporaries+=("$new_installer")
new_signature=$(mktemp "$folder/.pegsetup.exe.minisig.XXXXXX")
temporaries+=("$new_signature")
new_version=$(mktemp "$folder/.pegsquareversion.txt.XXXXXX")
temporaries+=("$new_version")
# mktemp makes the files readable by their owner only; the web server may run
# as another user.
chmod 0644 "$new_installer" "$new_signature" "$new_version"

# The copy is signed, not the original, so the signature is of the very
# bytes that are published even if the original changes meanwhile.
cp -- "$installer" "$new_installer"
if ! minisign -S -s "$key" -m "$new_installer" -x "$new_signature" -t "pegsquare $version pegsetup.exe"; then
    echo "$0: signing failed; nothing was published" >&2
    exit 1
fi
printf '%s' "$version" >"$new_version"

mv -f -- "$new_installer" "$folder/pegsetup.exe"
mv -f -- "$new_signature" "$folder/pegsetup.exe.minisig"
mv -f -- "$new_version" "$folder/pegsquareversion.txt"
temporaries=()
echo "Published Pegsquare $version in $folder"
