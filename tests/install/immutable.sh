#!/usr/bin/env bash
# Makes a file or a folder that nobody may write, not even root (ext4's
# immutable flag), or clears the flag again. Wine reports access denied for it,
# as Windows does for a protected file or folder.
#   immutable.sh set FILE          (creates FILE holding "old" first)
#   immutable.sh set-folder FOLDER (creates the empty FOLDER first)
#   immutable.sh clear PATH
set -euo pipefail
path=$2
case $1 in
set)
  [ -e "$path" ] && chattr -i "$path"
  mkdir -p "$(dirname "$path")"
  printf old >"$path"
  chattr +i "$path"
  ;;
set-folder)
  [ -e "$path" ] && chattr -i "$path"
  rm -rf "$path"
  mkdir -p "$path"
  chattr +i "$path"
  ;;
clear)
  [ -e "$path" ] && chattr -i "$path"
  ;;
esac
