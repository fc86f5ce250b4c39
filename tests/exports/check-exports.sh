#!/usr/bin/env bash
# What the shared objects export, read from their dynamic symbol tables.
#   check-exports.sh program SO                 SO defines `main` and nothing else
#   check-exports.sh platform SO HEADER...      every symbol SO defines is named in a HEADER
#   check-exports.sh frei0r SO                  SO defines every frei0r call and nothing else,
#                                               and needs neither Qt nor our platform libraries
set -euo pipefail

defined() { nm -D --defined-only "$1" | awk '{print $3}'; }
# Symbols the linker itself defines in every shared object.
linker_marks='^(__bss_start|_edata|_end|_init|_fini)$'

case $1 in
program)
  extra=$(defined "$2" | grep -vxE 'main' | grep -vE "$linker_marks" || true)
  defined "$2" | grep -qx main || { echo "$2 does not export main"; exit 1; }
  [ -z "$extra" ] || { echo "$2 exports more than main:"; echo "$extra"; exit 1; }
  ;;
frei0r)
  calls='f0r_construct f0r_deinit f0r_destruct f0r_get_param_info f0r_get_param_value
         f0r_get_plugin_info f0r_init f0r_set_param_value f0r_update f0r_update2'
  got=$(defined "$2" | grep -vE "$linker_marks" | sort | tr '\n' ' ')
  want=$(tr -s ' \n' '\n' <<<"$calls" | grep . | sort | tr '\n' ' ')
  [ "$got" = "$want" ] || { echo "$2 exports: $got"; echo "expected:   $want"; exit 1; }
  needed=$(readelf -d "$2" | awk '/NEEDED/ {print $NF}')
  bad=$(grep -iE 'qt|macplatform|mactoolbox' <<<"$needed" || true)
  [ -z "$bad" ] || { echo "$2 needs: $bad"; exit 1; }
  ;;
platform)
  so=$2
  shift 2
  # Every identifier the headers mention: a call, a type or a variable they declare.
  declared=$(grep -ohE '\b[A-Za-z_][A-Za-z0-9_]*\b' "$@" | sort -u)
  bad=()
  while IFS= read -r symbol; do
    name=${symbol#typeinfo name for }
    name=${name#typeinfo for }
    name=${name#vtable for }
    name=${name%%(*}
    name=${name%%\[abi:*}
    [[ $name =~ $linker_marks ]] && continue
    grep -qxF -- "$name" <<<"$declared" || bad+=("$symbol")
  done < <(nm -DC --defined-only "$so" | cut -d' ' -f3-)
  if [ ${#bad[@]} -gt 0 ]; then
    echo "$so exports symbols no public header declares:"
    printf '  %s\n' "${bad[@]}"
    exit 1
  fi
  ;;
*)
  echo "usage: $0 program SO | frei0r SO | platform SO HEADER..." >&2
  exit 2
  ;;
esac
