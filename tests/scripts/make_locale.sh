#!/usr/bin/env bash
# Makes locale NAME (for example de_DE.UTF-8) in FOLDER, for LOCPATH: nothing
# system-wide is needed beyond the locale sources of Debian's `locales` package.
set -eu
name=$1
folder=$2
mkdir -p "$folder"
language=${name%%.*}
localedef -i "$language" -f UTF-8 "$folder/$name"
