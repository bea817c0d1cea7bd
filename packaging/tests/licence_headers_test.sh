#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source file of the tree carries the licence's SPDX line near its top:
# C++ sources and headers, build files, scripts, the manual pages and the
# Windows definition and resource files. Data (samples, corpora, expected
# outputs) carries none.
# Usage: licence_headers_test.sh SOURCE_ROOT
set -uo pipefail
root=$1
cd "$root" || exit 2
missing=()
while IFS= read -r -d '' file; do
  top=$(head -n 3 -- "$file")
  [[ $top == *'SPDX-License-Identifier: MIT'* ]] || missing+=("${file#./}")
done < <(find . \( -path ./build -o -path ./.git -o -path '*/corpus' -o -path '*/expected' \
                   -o -path ./obj-\* -o -path ./debian/kestrel-sync \) -prune -o -type f \
              \( -name '*.cpp' -o -name '*.h' -o -name '*.h.in' -o -name '*.rc' -o -name '*.def' \
                 -o -name '*.sh' -o -name '*.pl' -o -name '*.py' -o -name '*.cmake' \
                 -o -name CMakeLists.txt -o -name '*.1.in' -o -path './scripts/*' -o -path './.ci/*' \) \
              -print0)
if [ ${#missing[@]} -ne 0 ]; then
  echo "FAIL: no SPDX-License-Identifier line at the top of: ${missing[*]}" >&2
  echo "add '// SPDX-License-Identifier: MIT' (or the file's comment form) as its first line" >&2
  exit 1
fi
echo "every source file carries its SPDX line"
