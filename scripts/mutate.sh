#!/usr/bin/env bash
# Mutation testing: how many small faults put into the sources the test
# suite catches.  Run it as
#
#   nice -n 10 scripts/mutate.sh [--sample N] [--seed S] [--jobs J] [--timeout SECONDS]
#       [--log FILE] [--rerun LOG] [--work DIR] [--exclude REGEX] [--list] [FILE|GLOB...]
#
# FILE|GLOB   sources to mutate, from the top (default 'src/**/*.cc' 'src/**/*.h')
# --sample N  N mutants at random, the same ones for the same --seed (default 1)
# --jobs J    tests and compilations run at once (2)
# --timeout   seconds a run of the suite may take before it kills the mutant
#             (three times the unmutated run, plus 60)
# --log FILE  one line per mutant, then the survivors and the score (mutate.log)
# --rerun LOG only the mutants that survived in an earlier LOG
# --work DIR  keeps the copy and its build in DIR for the next run
# --exclude   tests not run, by ctest's -E (a slow test that others cover)
# --list      lists the mutants and runs none
#
# A mutant is one change at one place: a comparison moved to its neighbour
# (< <=, > >=, == !=), + -, * /, && ||, a ! taken out, a decimal number n made
# n + 1 (0 -> 1, 1 -> 0 and 2), true <-> false.  Comments, string and
# character literals and preprocessor lines are never changed.  Each mutant is
# built in a copy of the repository's files, never in the working tree, and
# the suite runs on it: "killed" when a test fails or runs out of time,
# "survived" when all pass, "invalid" when it does not build.  The score is
# killed / (killed + survived).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
sample=0 seed=1 jobs=2 timeout=0 log=$PWD/mutate.log rerun='' work='' exclude='' only_list='' patterns=()
while (($#)); do
  case $1 in
    --sample | --seed | --jobs | --timeout | --exclude) declare "${1#--}=$2"; shift 2 ;;
    --log | --rerun | --work) declare "${1#--}=$(realpath -m "$2")"; shift 2 ;;
    --list) only_list=1; shift ;;
    -*) sed -n '2,25p' "$0" >&2; exit 2 ;;
    *) patterns+=("$1"); shift ;;
  esac
done
((${#patterns[@]})) || patterns=('src/**/*.cc' 'src/**/*.h')

# "list": the mutants, one a line: file, line, column, old text, new text.
# Comments and preprocessor lines are blanked and literals kept as quotes
# around underscores, so that lines and columns stay; a binary operator is
# taken only with white space around it, which tells a < b from a template.
# "apply": a file with one mutant in it.
read -r -d '' py <<'EOF' || true
import glob, random, re, sys
if sys.argv[1] == 'apply':
    path, n, col, old, new, out = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), *sys.argv[5:]
    lines = open(path).read().split('\n')
    assert lines[n - 1][col - 1:col - 1 + len(old)] == old, (path, n, col, old)
    lines[n - 1] = lines[n - 1][:col - 1] + new + lines[n - 1][col - 1 + len(old):]
    open(out, 'w').write('\n'.join(lines))
    sys.exit()
sample, seed, rerun, patterns = int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5:]
swap = dict(zip('< <= > >= == != + - * / && || true false !'.split(),
                '<= < >= > != == - + / * || && false true'.split() + ['']))
operator = re.compile(r'(?<!\S)(<=|>=|==|!=|<|>|\+|-|\*|/|&&|\|\|)(?!\S)')
word = re.compile(r'\b(true|false)\b|(?<![\w)\]])!(?!=)')
number = re.compile(r'(?<![\w.])(\d+\.?\d*(?:[eE][+-]?\d+)?|\.\d+(?:[eE][+-]?\d+)?)[uUlLfF]*(?![\w.])')
hidden = re.compile(r'"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|/\*.*?\*/|//[^\n]*', re.S)

def numbers(text):
    if not re.search(r'[.eE]', text):
        n = int(text)
        return ['1'] if n == 0 else ['0', '2'] if n == 1 else [str(n + 1)]
    v = float(text)
    return ['1.0'] if v == 0 else ['0.0', '2.0'] if v == 1 else [repr(v + 1 if v + 1 != v else v * 10)]

def mutants(path):
    code = hidden.sub(lambda m: re.sub(r'[^\n]', ' ', m.group()) if m.group()[0] == '/'
                      else m.group()[0] + '_' * (len(m.group()) - 2) + m.group()[-1],
                      open(path).read())
    code = re.sub(r'(?m)^[ \t]*#.*$', lambda m: ' ' * len(m.group()), code)
    code = re.sub(r'0[xX][\w.]*(?:[pP][+-]?\d+)?', lambda m: '_' * len(m.group()), code)
    def at(m, old, news):
        line, col = code.count('\n', 0, m.start()) + 1, m.start() - code.rfind('\n', 0, m.start())
        return [(path, line, col, old, new) for new in news]
    for m in operator.finditer(code):
        near = code[:m.start()].rstrip()[-1:] + code[m.end():].lstrip()[:1]
        if m.group() not in '+-' or '"' not in near:  # - between strings would not build
            yield from at(m, m.group(), [swap[m.group()]])
    for m in word.finditer(code):
        yield from at(m, m.group(), [swap[m.group()]])
    for m in number.finditer(code):
        yield from at(m, m.group(1), numbers(m.group(1)))

files = sorted({f for p in patterns for f in glob.glob(p, recursive=True)})
chosen = every = [m for f in files for m in mutants(f)]
if rerun:
    survived = re.compile(r"^(\S+):(\d+):(\d+)  '([^']*)' -> '([^']*)'  survived$")
    wanted = {(g[0], int(g[1]), int(g[2]), g[3], g[4])
              for g in (survived.match(l).groups() for l in open(rerun) if survived.match(l))}
    chosen = [m for m in every if m in wanted]
elif 0 < sample < len(every):
    chosen = random.Random(seed).sample(every, sample)
print(f'{len(every)} mutants in {len(files)} files, {len(chosen)} to run', file=sys.stderr)
print(''.join('\t'.join(map(str, m)) + '\n' for m in sorted(chosen)), end='')
EOF

cd "$top"
list=$(mktemp)
python3 -c "$py" list "$sample" "$seed" "$rerun" "${patterns[@]}" >"$list"
if [ -n "$only_list" ]; then cat "$list"; rm -f "$list"; exit 0; fi

# The copy, in a temporary folder or brought up to date in --work: changed
# files get a new time, so that ninja rebuilds what uses them.
keep=$work
[ -n "$work" ] || work=$(mktemp -d)
mkdir -p "$work"
current='' child=''
cleanup() {
  if [ -n "$child" ]; then kill -TERM "$child" 2>/dev/null || true; wait "$child" || true; fi
  [ -z "$current" ] || cp "$top/$current" "$work/$current"
  rm -f "$list"
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
git ls-files -z -co --exclude-standard | while IFS= read -r -d '' f; do
  [ -f "$f" ] && ! cmp -s "$f" "$work/$f" && mkdir -p "$work/$(dirname "$f")" && cp "$f" "$work/$f"
  true
done

# Runs a command in the background, so that a signal reaches the trap at
# once, with a time limit that ends it and everything it started.
run() {
  timeout -k 10 "$1" "${@:2}" >"$work/last.out" 2>&1 &
  child=$!
  local status=0
  wait "$child" || status=$?
  child=''
  return "$status"
}
build() { run 3600 ninja -C "$work/build" -j "$jobs"; }
suite() { run "$1" ctest --test-dir "$work/build" -j "$jobs" --stop-on-failure --no-tests=error ${exclude:+-E "$exclude"}; }
fail() { cat "$work/last.out" >&2; echo "$1" >&2; exit 1; }

[ -f "$work/build/build.ninja" ] || run 600 cmake -S "$work" -B "$work/build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DKAVRIX_TESTS=ON || fail "cmake failed"
build || fail "the unmutated sources do not build"
start=$SECONDS
suite 3600 || fail "the unmutated sources fail a test"
((timeout > 0)) || timeout=$((3 * (SECONDS - start) + 60))

: >"$log"
killed=0 survived=0 invalid=0 start=$SECONDS
while IFS=$'\t' read -r -u 3 file line col old new; do
  current=$file
  python3 -c "$py" apply "$file" "$line" "$col" "$old" "$new" "$work/$file"
  if ! build; then
    result=invalid invalid=$((invalid + 1))
  elif suite "$timeout"; then
    result=survived survived=$((survived + 1))
  else
    status=$? result=killed killed=$((killed + 1))
    if ((status == 124 || status == 137)); then
      result+=" (timeout)"
    else
      result+=" ($(grep -m1 -oP '^\s*\d+ - \K\S+' "$work/last.out" || echo ?))"
    fi
  fi
  cp "$file" "$work/$file"  # the original again, with a new time
  current=''
  printf "%s:%s:%s  '%s' -> '%s'  %s\n" "$file" "$line" "$col" "$old" "$new" "$result" | tee -a "$log"
done 3<"$list"

valid=$((killed + survived)) ran=$((killed + survived + invalid)) took=$((SECONDS - start))
{
  echo "survivors:"
  grep '  survived$' "$log" | sed 's/^/  /' || true
  echo "invalid (did not build): $invalid; $ran mutants in $took s ($((took / (ran > 0 ? ran : 1))) s each)"
  echo "mutation score: $killed killed of $valid valid mutants" \
    "($(awk "BEGIN { printf \"%.1f\", $valid ? 100 * $killed / $valid : 0 }")%)"
} | tee -a "$log"
