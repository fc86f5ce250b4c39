#!/usr/bin/env bash
# What the shared objects export, read from their dynamic symbol tables.
#   check-exports.sh program SO                 SO defines `main` and nothing else
#   check-exports.sh platform SO HEADER...      every symbol SO defines is named in a HEADER
#   check-exports.sh frei0r SO                  SO defines every frei0r call and nothing else,
#                                               and needs neither Qt nor our platform libraries
#   check-exports.sh obs SO                     SO defines the calls libobs looks up in a module
#                                               (obs_module_*, obs_current_module) and nothing
#                                               else, and needs neither Qt nor our platform libraries
set -euo pipefail

defined() { nm -D --defined-only "$1" | awk '{print $3}'; }
# Symbols the linker itself defines in every shared object.
linker_marks='^(__bss_start|_edata|_end|_init|_fini)$'
# A single-file plug-in carries the platform inside and loads into hosts without Qt.
needs_no_qt_or_platform() {
  local bad
  bad=$(readelf -d "$1" | awk '/NEEDED/ {print $NF}' | grep -iE 'qt|macplatform|mactoolbox' || true)
  [ -z "$bad" ] || { echo "$1 needs: $bad"; exit 1; }
}

case $1 in
program)
  extra=$(defined "$2" | grep -vxE 'main' | grep -vE "$linker_marks" || true)
  defined "$2" | grep -qx main || { echo "$2 does not export main"; exit 1; }
  [ -z "$extra" ] || { echo "$2 exports more than main:"; echo "$extra"; exit 1; }
  ;;
obs)
  extra=$(defined "$2" | grep -vE "$linker_marks" | grep -vE '^(obs_module_.*|obs_current_module)$' || true)
  [ -z "$extra" ] || { echo "$2 exports more than the module calls:"; echo "$extra"; exit 1; }
  for call in obs_module_load obs_module_set_pointer obs_module_ver obs_current_module; do
    defined "$2" | grep -qx "$call" || { echo "$2 does not export $call"; exit 1; }
  done
  needs_no_qt_or_platform "$2"
  ;;
frei0r)
  calls='f0r_construct f0r_deinit f0r_destruct f0r_get_param_info f0r_get_param_value
         f0r_get_plugin_info f0r_init f0r_set_param_value f0r_update f0r_update2'
  got=$(defined "$2" | grep -vE "$linker_marks" | sort | tr '\n' ' ')
  want=$(tr -s ' \n' '\n' <<<"$calls" | grep . | sort | tr '\n' ' ')
  [ "$got" = "$want" ] || { echo "$2 exports: $got"; echo "expected:   $want"; exit 1; }
  needs_no_qt_or_platform "$2"
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
  echo "usage: $0 program SO | frei0r SO | obs SO | platform SO HEADER..." >&2
  exit 2
  ;;
esac
