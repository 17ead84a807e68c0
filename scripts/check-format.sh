#!/usr/bin/env bash
# Fails when a C++ file of the tree (tracked, or new and not ignored) differs from the project's .clang-format style.
#   scripts/check-format.sh          check every tracked source file
#   scripts/check-format.sh --fix    reformat them in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' '*.hpp' '*.cc')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "check-format: files above differ from .clang-format; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files follow .clang-format"
