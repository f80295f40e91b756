#!/usr/bin/env bash
# Runs linestra-render once where RunRender.cmake cannot: an empty argument,
# an exact exit status, a file-size limit, an earlier output file.
#
#   RunStatus.sh --status N --workdir DIR [--text TEXT]... [--keep FILE]
#                [--file-limit KB] [--memory-limit KB] [--stdout FILE]
#                -- COMMAND ARGS...
#
# DIR is emptied first and the command runs there. --keep FILE copies FILE
# into DIR first; afterwards DIR must hold exactly the kept files, each
# unchanged (no output, no temporary). --file-limit sets ulimit -f (with
# SIGXFSZ ignored, so that writes past it fail as on a full disk). An
# argument "{empty}" stands for an empty one (CMake drops empty arguments).
# --memory-limit sets ulimit -v, so that a large allocation fails at once.
# --stdout FILE sends the command's standard output there (such as
# /dev/full); its standard error is still checked.
set -uo pipefail

status="" workdir="" limit="" memory="" stdout="" texts=() keep=()
while [[ $# -gt 0 && "$1" != "--" ]]; do
  case "$1" in
    --status) status=$2; shift 2 ;;
    --workdir) workdir=$2; shift 2 ;;
    --text) texts+=("$2"); shift 2 ;;
    --keep) keep+=("$2"); shift 2 ;;
    --file-limit) limit=$2; shift 2 ;;
    --memory-limit) memory=$2; shift 2 ;;
    --stdout) stdout=$2; shift 2 ;;
    *) echo "RunStatus.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
shift
command=()
for arg in "$@"; do
  [[ "$arg" == "{empty}" ]] && arg=""
  command+=("$arg")
done
set -- "${command[@]}"

rm -rf "$workdir" && mkdir -p "$workdir" && cd "$workdir" || exit 2
for file in "${keep[@]}"; do cp "$file" . || exit 2; done

if [[ -n "$limit" ]]; then
  output=$(trap '' XFSZ; ulimit -f "$limit"; "$@" 2>&1)
elif [[ -n "$memory" ]]; then
  output=$(ulimit -v "$memory"; "$@" 2>&1)
elif [[ -n "$stdout" ]]; then
  output=$("$@" 2>&1 >"$stdout")
else
  output=$("$@" 2>&1)
fi
actual=$?
echo "exit status $actual; output:"
echo "$output"

failed=0
if [[ "$actual" != "$status" ]]; then
  echo "FAIL: exit status $actual, expected $status"
  failed=1
fi
for text in "${texts[@]}"; do
  if [[ "$output" != *"$text"* ]]; then
    echo "FAIL: the output lacks \"$text\""
    failed=1
  fi
done
names=()
for file in "${keep[@]}"; do
  names+=("$(basename "$file")")
  if ! cmp -s "$file" "$(basename "$file")"; then
    echo "FAIL: $(basename "$file") was changed"
    failed=1
  fi
done
expected=$(printf '%s\n' "${names[@]}" | sed '/^$/d' | sort)
left=$(ls -A | sort)
if [[ "$left" != "$expected" ]]; then
  echo "FAIL: files left: [$(echo $left)], expected: [$(echo $expected)]"
  failed=1
fi
exit $failed
