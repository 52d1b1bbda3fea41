#!/usr/bin/env bash
# Checks that every source file of a layer includes only its own and lower
# layers' headers, and that nothing outside the window includes Qt. The build
# already fails on an upward include through the include roots; this catches
# the ways round them: a relative "../" include, a header reached through
# another root, Qt in the core.
#   check-layers.sh SRC_DIR LAYER=SEEN,SEEN... [LAYER=...]
# (the rules come from src/CMakeLists.txt, which builds the layers).
set -euo pipefail
src=$1; shift
failures=0
for rule in "$@"; do
  layer=${rule%%=*}
  allowed=",${rule#*=},"
  [[ -d $src/$layer ]] || continue
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$text")
    case $target in
      ../*|*/../*) reason="a relative include" ;;
      */*) [[ $allowed == *",${target%%/*},"* ]] && continue
           reason="${target%%/*} is not below $layer" ;;
      *) continue ;;
    esac
    echo "$file:$line: $reason: $target"
    failures=$((failures + 1))
  done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src/$layer"/*.h "$src/$layer"/*.cpp 2>/dev/null || true)
  if [[ $layer != gui ]]; then
    while IFS= read -r hit; do
      echo "$hit: Qt outside the window"
      failures=$((failures + 1))
    done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$src/$layer"/*.h "$src/$layer"/*.cpp 2>/dev/null || true)
  fi
done
if ((failures)); then
  echo "$failures include(s) against the layers"
  exit 1
fi
echo "layers: every include points down (${#@} layers checked)"
