#!/usr/bin/env bash
# Makes a file that nobody may write, not even root (ext4's immutable flag), or
# clears the flag again. Wine reports access denied for it, as Windows does for
# a protected file.
#   immutable.sh set FILE   (creates FILE holding "old" first)
#   immutable.sh clear FILE
set -euo pipefail
file=$2
case $1 in
set)
  [ -e "$file" ] && chattr -i "$file"
  mkdir -p "$(dirname "$file")"
  printf old >"$file"
  chattr +i "$file"
  ;;
clear)
  [ -e "$file" ] && chattr -i "$file"
  ;;
esac
