#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-csv chart in a real browser: headless Chromium renders the SVG
# (and the --html page) to PNG, and chart_bars.py checks from the pixels of
# the bars that each stands where the backup's dates say. For the sample
# plan, one task, and 100 tasks over three years.
# Usage: chart_test.sh KESTREL_CSV REPO_ROOT WORK_DIR
set -uo pipefail
csv=$1 root=$2 work=$3
case "$work" in
  */test-work/*) ;;
  *) echo "chart_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
here=$root/tools/csv/plan/tests
for tool in chromium python3; do
  command -v "$tool" >/dev/null || { echo "chart_test.sh: $tool is missing (scripts/install-deps)" >&2; exit 2; }
done
. "$root/tests/test_work.sh"
start_work "$work"

# The start, finish and percent of each task line of a backup, as
# chart_bars.py reads them.
expected_bars() {
  awk -F, 'NR > 1 {
    split($2, s, "/"); split($4, f, "/"); sub("%", "", $6)
    printf "%04d-%02d-%02d %04d-%02d-%02d %d\n", s[3], s[1], s[2], f[3], f[1], f[2], $6
  }' "$1"
}

# render PAGE PNG WIDTH HEIGHT: a screenshot of PAGE in a new profile.
render() {
  local profile
  profile=$(mktemp -d "$work/profile.XXXXXX")
  timeout 300 chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$profile" \
    --hide-scrollbars --screenshot="$2" --window-size="$3,$4" "file://$1" \
    >"$work/chromium.log" 2>&1 || fail "chromium could not render $1: $(tail -3 "$work/chromium.log")"
  rm -rf "$profile"
}

# The width and height that an SVG document declares.
svg_size() { sed -n '1s/.* width="\([0-9]*\)" height="\([0-9]*\)".*/\1 \2/p' "$1"; }

# check_chart NAME BACKUP: the SVG and the HTML page of BACKUP, rendered
# and measured.
check_chart() {
  local name=$1 backup=$2
  "$csv" chart --charset UTF-8 --today 2026-04-20 "$backup" >"$work/$name.svg" 2>"$work/err" ||
    fail "$name: chart exits $?: $(cat "$work/err")"
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$work/$name.svg" ||
    fail "$name: the SVG is not well-formed"
  if grep -Eiq '<script|<image|<a |href=|@import|url\((https?:|file:)|@font-face' "$work/$name.svg"; then
    fail "$name: the SVG is not self-contained"
  fi
  expected_bars "$backup" >"$work/$name.bars"
  read -r width height < <(svg_size "$work/$name.svg")
  render "$work/$name.svg" "$work/$name.png" "$width" "$height"
  python3 "$here/chart_bars.py" "$work/$name.png" "$work/$name.bars" >"$work/$name.check" 2>&1 ||
    fail "$name: $(cat "$work/$name.check")"
  "$csv" chart --html --charset UTF-8 --today 2026-04-20 "$backup" >"$work/$name.html" 2>"$work/err" ||
    fail "$name: chart --html exits $?: $(cat "$work/err")"
  grep -q '<table>' "$work/$name.html" || fail "$name: the page has no table of the tasks"
  render "$work/$name.html" "$work/$name-page.png" $((width + 64)) $((height + 160))
  python3 "$here/chart_bars.py" "$work/$name-page.png" "$work/$name.bars" >"$work/$name.check" 2>&1 ||
    fail "$name (page): $(cat "$work/$name.check")"
}

check_chart sample "$here/fixtures/Relaunch.csv"

printf '%s\n%s' "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names" \
  "1,4/13/2026,5 days,4/17/2026,,40%,Only one,Ann" >"$work/one.csv"
check_chart one "$work/one.csv"

# 100 tasks over three years, each a chain link of the one before.
python3 - "$work/hundred.csv" <<'PY'
import datetime, sys
lines = ["ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names"]
day = datetime.date(2026, 1, 5)
for i in range(1, 101):
    start = day + datetime.timedelta(days=(i - 1) * 11)
    finish = start + datetime.timedelta(days=4 + i % 9)
    d = lambda x: f"{x.month}/{x.day}/{x.year}"
    lines.append(f"{i},{d(start)},5 days,{d(finish)},{i - 1 if i > 1 else ''},{i % 101}%,"
                 f"Task number {i} <&>,Crew {i % 7}")
open(sys.argv[1], "w").write("\n".join(lines))
PY
check_chart hundred "$work/hundred.csv"
read -r width height < <(svg_size "$work/hundred.svg")
[ "$width" -le 1800 ] && [ "$height" -le 2400 ] || fail "100 tasks over three years: $width x $height"

if [ "$failures" -ne 0 ]; then
  echo "chart_test.sh: $failures failures" >&2
  exit 1
fi
echo "chart_test.sh: all passed"
