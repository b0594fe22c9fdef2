#!/bin/sh
# Measures how many deliberate faults the test suite finds.
#
#   scripts/mutation-check.sh [--list] [--keep-going] [FILTER]
#
# Each fault of scripts/mutations.txt is applied on its own to a scratch copy
# of this tree (under ${TMPDIR:-/tmp}, never this tree itself); the test
# programs are rebuilt there incrementally and the suite runs until its first
# failing test. One line per fault says what became of it:
#   killed        a test failed (or hung until its timeout)
#   SURVIVED      every test passed: no test notices the fault
#   did not apply its snippet is not found exactly once: the entry needs mending
#   did not build the fault does not compile: the entry needs mending
# The last line is "killed N of M", M counting the faults that applied and
# built. FILTER is a regular expression (as Python reads one) matched against
# each entry's name and file; --list prints the entries it selects and stops.
# --keep-going runs every test even after one fails, naming all that fail.
#
# The scratch copy and its build are kept between runs, so only the first run
# builds everything. Everything runs at the lowest priority.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
list_file="$here/scripts/mutations.txt"
jobs=${MUTATION_JOBS:-2}
# A test that hangs ends at its own CTest timeout (60 to 120 s); the whole
# run of one fault is bounded as well.
suite_limit=${MUTATION_SUITE_LIMIT:-900}

list_only=0
stop_flag=--stop-on-failure
filter=
for arg in "$@"; do
  case $arg in
    --list) list_only=1 ;;
    --keep-going) stop_flag= ;;
    -h | --help)
      sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    -*)
      echo "mutation-check: unknown option $arg" >&2
      exit 2
      ;;
    *) filter=$arg ;;
  esac
done

# The one tool that reads the list: entries are separated by blank lines;
# an entry is a header line "name file", a line of description, lines of
# the snippet as it stands ("- " then the code) and lines of its faulty
# replacement ("+ " then the code; none deletes the snippet).
mutations() {
  python3 - "$list_file" "$@" <<'PY'
import re, sys

def entries(path):
    result, block = [], []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n") + [""]
    for number, line in enumerate(lines, 1):
        if line.startswith("#"):
            continue
        if line.strip():
            block.append((number, line))
            continue
        if not block:
            continue
        first, header = block[0]
        parts = header.split()
        if len(parts) != 2 or len(block) < 3 or block[1][1][:2] in ("- ", "+ "):
            sys.exit(f"{path}:{first}: an entry is 'name file', a description, then - and + lines")
        old, new = [], []
        for n, text in block[2:]:
            if text == "-" or text.startswith("- "):
                if new:
                    sys.exit(f"{path}:{n}: '-' line after a '+' line")
                old.append(text[2:])
            elif text == "+" or text.startswith("+ "):
                new.append(text[2:])
            else:
                sys.exit(f"{path}:{n}: expected a '- ' or '+ ' line")
        if not old:
            sys.exit(f"{path}:{first}: entry without a '- ' line")
        result.append({"name": parts[0], "file": parts[1], "what": block[1][1].strip(),
                       "old": "\n".join(old), "new": "\n".join(new)})
        block = []
    names = [e["name"] for e in result]
    for name in names:
        if names.count(name) > 1:
            sys.exit(f"{path}: the name {name} is used twice")
    return result

def selected(all_entries, pattern):
    return [e for e in all_entries
            if not pattern or re.search(pattern, e["name"] + " " + e["file"])]

command, path = sys.argv[2], sys.argv[1]
all_entries = entries(path)
if command == "names":
    for e in selected(all_entries, sys.argv[3]):
        print(e["name"])
elif command == "list":
    for e in selected(all_entries, sys.argv[3]):
        print(f"{e['name']:34} {e['file']:30} {e['what']}")
elif command == "file":
    print(next(e["file"] for e in all_entries if e["name"] == sys.argv[3]))
elif command == "apply":
    # Exit 3: the snippet is missing or not unique.
    e = next(e for e in all_entries if e["name"] == sys.argv[3])
    target = sys.argv[4] + "/" + e["file"]
    try:
        with open(target, encoding="utf-8") as f:
            text = f.read()
    except OSError:
        sys.exit(3)
    if text.count(e["old"]) != 1:
        sys.exit(3)
    with open(target, "w", encoding="utf-8") as f:
        f.write(text.replace(e["old"], e["new"]))
PY
}

if [ "$list_only" = 1 ]; then
  mutations list "$filter"
  exit 0
fi
names=$(mutations names "$filter")
if [ -z "$names" ]; then
  echo "mutation-check: no fault matches '$filter'" >&2
  exit 2
fi

# One scratch folder per tree, so repeated runs rebuild only what changed.
key=$(printf '%s' "$here" | cksum | cut -d ' ' -f 1)
scratch=${TMPDIR:-/tmp}/tolvar-mutation-$key
src=$scratch/src
# Inside the copy, as in a developer's tree, and ccache sees paths relative
# to the copy: then the copy's compiles match the developers' cached ones.
build=$src/build
export CCACHE_BASEDIR="$src"
log=$scratch/log
mkdir -p "$src" "$log"
exec 9>"$scratch/lock"
if ! flock -n 9; then
  echo "mutation-check: another run uses $scratch" >&2
  exit 1
fi

say() { printf '%s\n' "$*"; }
elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
started=$(date +%s)

# Brings the scratch copy to the tree as it stands, committed or not. Only
# files whose content differs are written, so they get a new time stamp and
# the build sees exactly what changed.
sync_copy() {
  (
    cd "$here"
    if git rev-parse --git-dir >/dev/null 2>&1; then
      git ls-files -co --exclude-standard
    else
      find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||'
    fi
  ) | while IFS= read -r file; do
    # The index still names files deleted but not yet committed.
    if [ -f "$here/$file" ]; then printf '%s\n' "$file"; fi
  done | sort -u >"$scratch/files.new"
  while IFS= read -r file; do
    if ! cmp -s "$here/$file" "$src/$file"; then
      mkdir -p "$(dirname "$src/$file")"
      cp "$here/$file" "$src/$file"
    fi
  done <"$scratch/files.new"
  if [ -f "$scratch/files" ]; then
    comm -23 "$scratch/files" "$scratch/files.new" | while IFS= read -r file; do
      rm -f "$src/$file"
    done
  fi
  mv "$scratch/files.new" "$scratch/files"
}

configure() {
  [ -f "$build/build.ninja" ] && return 0
  linker=
  if command -v ld.lld >/dev/null 2>&1; then
    linker=-fuse-ld=lld
  elif command -v ld.gold >/dev/null 2>&1; then
    linker=-fuse-ld=gold
  fi
  # The build type and flags of a developer's build; a faster linker only
  # where there is one, for the many links.
  nice -n 19 cmake -S "$src" -B "$build" -G Ninja -DCMAKE_EXE_LINKER_FLAGS="$linker" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
    -DTOLVAR_BUILD_TESTS=ON -DTOLVAR_BUILD_BENCHMARKS=OFF -DTOLVAR_BUILD_FUZZERS=OFF \
    >"$log/configure.txt" 2>&1
}

# Only the test programs and what they run (the server, the test client,
# the generated resources); CMake knows those dependencies.
test_targets() {
  grep -rhoE --include=CMakeLists.txt 'tolvar_test\([A-Za-z0-9_]+' "$src/tests" |
    sed 's/^tolvar_test(//' | sort -u
}

build_tests() {
  # shellcheck disable=SC2046 # one argument per target
  nice -n 19 cmake --build "$build" -j "$jobs" --target $(test_targets) >"$1" 2>&1
}

# Runs the tests (all, or those that ctest's further arguments select);
# prints the names of the failing ones.
run_tests() {
  out=$1
  shift
  # shellcheck disable=SC2086 # an empty flag is left out
  if nice -n 19 timeout -k 10 "$suite_limit" ctest --test-dir "$build" $stop_flag \
    -j "$jobs" --timeout 120 "$@" >"$out" 2>&1; then
    return 0
  fi
  # "12 - kit_tests.BLooper.Quit (Failed)"; a test that hung says so.
  failed=$(sed -n '/tests FAILED:/,$p' "$out" |
    sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (\(.*\))$/\1 \2/p' |
    while read -r test status; do
      case $status in
        Failed) printf '%s ' "$test" ;;
        *) printf '%s (%s) ' "$test" "$status" ;;
      esac
    done)
  failed=${failed% }
  [ -n "$failed" ] || failed="(the tests ran past ${suite_limit}s)"
  printf '%s\n' "$failed"
  return 1
}

# Runs the whole suite, the tests of the faulty file's own folder first:
# they usually find a fault soonest, and say which layer's tests find it.
run_suite() {
  own="^$(printf '%s' "${2%%/*}" | sed 's/[^A-Za-z0-9]//g')_"
  run_tests "$1.own" -R "$own" && run_tests "$1" -E "$own"
}

sync_copy
configure || {
  say "mutation-check: configuring the scratch build failed; see $log/configure.txt"
  exit 1
}
say "Scratch copy in $scratch; building the tests..."
build_tests "$log/build.txt" || {
  say "mutation-check: the tree does not build; see $log/build.txt"
  exit 1
}
if ! failed=$(run_tests "$log/suite.txt"); then
  say "mutation-check: the suite fails without any fault ($failed); see $log/suite.txt"
  exit 1
fi
say "Suite green without faults ($(elapsed $(($(date +%s) - started)))); applying $(printf '%s\n' "$names" | wc -l) faults."

killed=0
measured=0
broken=
index=0
total=$(printf '%s\n' "$names" | wc -l)
for name in $names; do
  index=$((index + 1))
  file=$(mutations file "$name")
  one_started=$(date +%s)
  cp "$src/$file" "$scratch/original"
  status=0
  mutations apply "$name" "$src" || status=$?
  if [ "$status" -eq 3 ]; then
    outcome="did not apply"
    broken="$broken $name"
  elif [ "$status" -ne 0 ]; then
    exit "$status"
  elif ! build_tests "$log/$name.build.txt"; then
    outcome="did not build"
    broken="$broken $name"
  else
    measured=$((measured + 1))
    if failed=$(run_suite "$log/$name.suite.txt" "$file"); then
      outcome=SURVIVED
    else
      outcome="killed by $failed"
      killed=$((killed + 1))
    fi
  fi
  # Written afresh (not copied with its old time) so that the next build
  # compiles the restored file again.
  cat "$scratch/original" >"$src/$file"
  printf '[%2d/%d] %-34s %s (%s)\n' "$index" "$total" "$name" "$outcome" \
    "$(elapsed $(($(date +%s) - one_started)))"
done

if [ -n "$broken" ]; then
  say "Entries to mend (did not apply or did not build):$broken"
fi
say "Took $(elapsed $(($(date +%s) - started))) at $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo '?')."
say "killed $killed of $measured"
