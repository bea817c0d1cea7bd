# SPDX-License-Identifier: MIT
# What the packaging tests share; sourced, not run.

. "$(dirname "${BASH_SOURCE[0]}")/../../tests/test_work.sh"

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
