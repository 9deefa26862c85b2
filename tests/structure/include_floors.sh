#!/usr/bin/env bash
# Fails when a source file includes a folder on a floor above its own, or a different folder on
# its own floor: includes run one way, from shell and tool down to core.
set -u
src="${1:-$(dirname "$0")/../../src}"

floor() {
  case "$1" in
    core) echo 0 ;;
    board) echo 1 ;;
    tablebases) echo 2 ;;
    eval | book) echo 3 ;;
    search) echo 4 ;;
    learning | record) echo 5 ;;
    shell | tool) echo 6 ;;
    *) echo 99 ;;
  esac
}

status=0
# Lines "src/<folder>/<file>:<included folder>".
while IFS=: read -r file target; do
  own="${file#"$src"/}"
  own="${own%%/*}"
  [ "$target" = "$own" ] && continue
  own_floor=$(floor "$own")
  target_floor=$(floor "$target")
  if [ "$own_floor" = 99 ] || [ "$target_floor" -ge "$own_floor" ]; then
    echo "$file includes $target/ (floor $target_floor) from $own/ (floor $own_floor)"
    status=1
  fi
done < <(grep -rEo '^#include "[a-z_]+/' --include='*.cpp' --include='*.h' "$src" | sed 's|#include "||; s|/$||' | sort -u)
exit $status
