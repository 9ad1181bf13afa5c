#!/usr/bin/env bash
# Fails when a source folder includes a header of a folder above it, or
# when code outside the Qt backend and the program's entry includes Qt.
#
# The folders stand on these levels, lowest first; a folder may include its
# own headers and those of lower levels. Folders on one level (the
# subsystems) may use each other, but only one way: their include graph
# must have no circle.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A level=(
  [platform]=0 [foundation]=1 [model]=2
  [tapein]=3 [tapeout]=3 [routpath]=3 [edit]=3 [command]=3 [import]=3 [plot]=3 [dnc]=3
  [editor]=3
  [workspace]=4 [app]=5
)

status=0
peer_edges=""
while IFS= read -r -d '' file; do
  rel=${file#./}
  if [[ $rel == app/* ]]; then from=app; else from=$(cut -d/ -f2 <<<"$rel"); fi
  if [[ -z ${level[$from]+x} ]]; then
    echo "check_layers: $rel: folder '$from' has no level" >&2
    status=1
    continue
  fi
  while IFS= read -r line; do
    inc=${line#*\"}
    inc=${inc%%\"*}
    to=${inc%%/*}
    [[ $to == "$inc" || -z ${level[$to]+x} ]] && continue
    if ((level[$to] > level[$from])); then
      echo "check_layers: $rel includes $inc ($from may not use $to)" >&2
      status=1
    elif ((level[$to] == level[$from])) && [[ $to != "$from" ]]; then
      peer_edges+="$from $to"$'\n'
    fi
  done < <(grep -h '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find ./src ./app -type f \( -name '*.h' -o -name '*.cpp' \) -print0)

# Only the Qt backend and the entry point see Qt.
while IFS= read -r hit; do
  echo "check_layers: ${hit%%:*} includes a Qt header" >&2
  status=1
done < <(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q[A-Za-z]*>' src \
           --include='*.h' --include='*.cpp' | grep -v '^src/platform/qt/' || true)

# tsort reports a circle among the peer folders.
if [[ -n $peer_edges ]]; then
  if ! sort -u <<<"$peer_edges" | tsort >/dev/null 2>/tmp/check_layers.$$; then
    echo "check_layers: the subsystem folders include each other in a circle:" >&2
    grep -v '^tsort: -: input contains a loop:$' /tmp/check_layers.$$ | sed 's/^tsort: /  /' >&2
    status=1
  fi
  rm -f /tmp/check_layers.$$
fi

if ((status == 0)); then echo "check_layers: includes point one way"; fi
exit $status
