#!/usr/bin/env bash
# Checks that scripts/lang-missing.sh finds the faults it is there for, on packs made here.
set -euo pipefail
script="$1"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT

cat > "$dir/table.inc" <<'TABLE'
KS(1, "One")
KS(2, "Name: %s, count %d, 100%%")
KS(3, "Three")
TABLE
printf '1\tEins\n2\tName: %%s, Anzahl %%d, 100%%%%\n3\tDrei\n' > "$dir/good.lang"
printf '1\tEins\n2\tAnzahl %%d, Name: %%s\n9\tNeun\n' > "$dir/bad.lang"
printf '1\tEins\n2\tName: %%s, Anzahl %%d\n3\t\n' > "$dir/empty.lang"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$script" --table "$dir/table.inc" "$dir/good.lang" > "$dir/out" || fail "a complete pack was refused: $(cat "$dir/out")"
[ ! -s "$dir/out" ] || fail "a complete pack gave findings: $(cat "$dir/out")"

if "$script" --table "$dir/table.inc" "$dir/bad.lang" > "$dir/out"; then fail "a faulty pack passed"; fi
grep -q "missing 3: Three" "$dir/out" || fail "missing id not named: $(cat "$dir/out")"
grep -q "placeholders of 2 differ" "$dir/out" || fail "swapped placeholders not found: $(cat "$dir/out")"
grep -q "unknown id 9" "$dir/out" || fail "unknown id not named: $(cat "$dir/out")"

if "$script" --table "$dir/table.inc" "$dir/empty.lang" > "$dir/out"; then fail "an empty text passed"; fi
grep -q "missing 3" "$dir/out" || fail "empty text not reported: $(cat "$dir/out")"
echo "lang-missing.sh finds missing, empty, unknown and mismatched texts"
