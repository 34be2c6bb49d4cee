#!/usr/bin/env bash
# Inspects a built updater executable: it holds the six preset tables as
# namespace-scope objects (none built on first use inside its accessor), and
# the loader runs the static initializers of the discovery's state, of the
# tables and of the style constants in that order, before those of every
# other source file, the framework's among them. The order is read from the
# executable's .init_array, which the loader runs front to back; the compiler
# names each initializer after its source file.
# Usage: StartupObjectsInBinary.sh <executable>
set -euo pipefail
binary="$1"
fail() {
  echo "FAIL ($binary): $*" >&2
  exit 1
}

symbols="$(nm -C "$binary")"
sized="$(nm -CS "$binary")"
for table in moduleIdToNumber ampNameToNumber ampKeyToNumber moduleNumberToId ampNumberToName ampNumberToKey; do
  # A map, larger than the pointer that a reference to one would be.
  size="$(awk -v name="mvhw::${table}" '$3 ~ /^[BbDdRr]$/ && ($4 == name || $4 == name "[abi:cxx11]") { print $2 }' <<<"$sized")"
  [[ -n "$size" ]] || fail "the table mvhw::$table is not a namespace-scope object of the program"
  ((16#$size > 8)) || fail "mvhw::$table is a reference, not the table"
done
if grep -E "mvhw::get[A-Za-z]+(\[abi:cxx11\])?\(\)::" <<<"$symbols"; then
  fail "a table is a function-local static, built on first use"
fi

section="$(mktemp)"
trap 'rm -f "$section"' EXIT
objcopy -O binary --only-section=.init_array "$binary" "$section"
[[ -s "$section" ]] || fail "no .init_array"
# Each entry is the address of one initializer; name them from the symbol table.
mapfile -t initializers < <(
  od -An -v -tx8 "$section" | tr -s ' ' '\n' | sed '/^$/d' |
    awk 'NR == FNR { if ($2 ~ /^[tT]$/) name[$1] = $3; next } { print (($1 in name) ? name[$1] : "?" $1) }' \
      <(nm "$binary") -
)

first() {
  local i
  for i in "${!initializers[@]}"; do
    if [[ "${initializers[$i]}" =~ $1 ]]; then
      echo "$i"
      return
    fi
  done
  fail "no static initializer matching $1 in .init_array"
}
discovery="$(first 'Discovery\.cpp$')"
tables="$(first 'ModuleTables\.cpp$')"
style="$(first 'StyleConstants\.cpp$')"
# The first initializer of any other source file: the framework's modules and
# the rest of the program.
others=-1
for i in "${!initializers[@]}"; do
  name="${initializers[$i]}"
  if [[ "$name" =~ \.cpp$ && ! "$name" =~ (Discovery|ModuleTables|StyleConstants)\.cpp$ ]]; then
    others="$i"
    break
  fi
done
((others >= 0)) || fail "no static initializer of any other source file"
echo "initializers: discovery #$discovery (${initializers[$discovery]}), tables #$tables" \
  "(${initializers[$tables]}), style #$style (${initializers[$style]}), first of the other files" \
  "#$others (${initializers[$others]}) of ${#initializers[@]}"
((discovery < tables)) || fail "the tables are built before the discovery's state"
((tables < style)) || fail "the style constants are built before the tables"
((style < others)) || fail "static objects of other files, the framework's among them, are built before the style constants"
framework="$(first '_juce_[a-z_]+\.cpp$')"
((style < framework)) || fail "the framework's static objects are built before the style constants"
echo "PASS"
