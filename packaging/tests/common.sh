# SPDX-License-Identifier: MIT
# What the packaging tests share; sourced, not run.

# Empties WORK_DIR for a test and counts its failures in $failures.
start_work() {
  rm -rf "$1"
  mkdir -p "$1"
  failures=0
}
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The files an install puts under a prefix, sorted, each with PREFIX_PATH in
# front (such as "./usr/" in a package or "" for an install tree), for the
# commands given.
installed_files() {
  local at=$1 command file
  shift
  {
    for command in "$@"; do
      echo "${at}bin/$command"
      echo "${at}share/man/man1/$command.1"
      echo "${at}share/bash-completion/completions/$command"
    done
    for file in README.md LICENSE import.csv registry.reg kestrel-sync.conf handheld/Import.pdb \
      handheld/KestrelDB.pdb handheld/Kestrelplan.prc handheld/MemoDB.pdb handheld/Website.pdb; do
      echo "${at}share/doc/kestrel-sync/$file"
    done
  } | sort
}
