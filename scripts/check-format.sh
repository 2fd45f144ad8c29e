#!/usr/bin/env bash
# Checks that every C and C++ source of the project (src, tools, tests, fuzz, bench) is as
# clang-format writes it under the repository's .clang-format. Lists the files that differ
# and exits non-zero when there are any; `scripts/check-format.sh --fix` rewrites them.
# A table that reads better hand-aligned opts out locally with `// clang-format off` / `on`.
set -uo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files -- 'src/**.c' 'src/**.cpp' 'src/**.h' 'tools/**.cpp' \
  'tools/**.h' 'tests/**.cpp' 'tests/**.h' 'fuzz/**.cpp' 'fuzz/**.h' 'bench/**.cpp' 'bench/**.h')
if [ "${#files[@]}" -eq 0 ]; then
  echo "check-format: no sources found (not a git checkout?)"
  exit 1
fi

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit $?
fi

differing=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then differing+=("$f"); fi
done
if [ "${#differing[@]}" -ne 0 ]; then
  echo "check-format: ${#differing[@]} of ${#files[@]} files differ from clang-format's layout:"
  printf '  %s\n' "${differing[@]}"
  echo "(see one with: clang-format --dry-run FILE; rewrite all with: scripts/check-format.sh --fix)"
  exit 1
fi
echo "check-format: ${#files[@]} files as clang-format writes them"
