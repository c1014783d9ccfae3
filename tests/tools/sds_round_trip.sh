#!/usr/bin/env bash
# build -> dump -> build gives the same bytes for every sample image.
set -euo pipefail
sds=$1
library=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
count=0
for image in "$library"/*.sds; do
  "$sds" dump "$image" > "$work/dump.json"
  "$sds" build "$work/dump.json" -o "$work/again.sds"
  cmp "$image" "$work/again.sds"
  "$sds" dump "$work/again.sds" | cmp - "$work/dump.json"
  count=$((count + 1))
done
[ "$count" -ge 3 ] || { echo "only $count sample images"; exit 1; }
echo "$count images round-trip"
