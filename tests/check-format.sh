#!/usr/bin/env bash
# usage: check-format.sh <source folder>
# Fails when a C++ source of the project differs from what clang-format makes of it (.clang-format);
# `clang-format -i <file>` fixes it. Tracked files in a git checkout, else every source outside build/.
set -euo pipefail
cd "$1"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r -n 16 -P "$(nproc)" clang-format --dry-run -Werror
else
  find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 -r -n 16 -P "$(nproc)" clang-format --dry-run -Werror
fi
