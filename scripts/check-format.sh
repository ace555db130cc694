#!/usr/bin/env bash
# Fails when a tracked C++ file is not formatted by .clang-format.
# scripts/check-format.sh --fix rewrites the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
[ -n "$files" ] || exit 0
if [ "${1:-}" = "--fix" ]; then
  clang-format -i $files
else
  clang-format --dry-run --Werror $files
fi
