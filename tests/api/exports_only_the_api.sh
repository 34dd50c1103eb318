#!/usr/bin/env bash
# A shared libkbn exports exactly the functions kbn.h declares.
#   exports_only_the_api.sh LIBRARY HEADER
set -euo pipefail
declared=$(grep -o 'KBN_API [^(]*(' "$2" | grep -o 'kbn_[a-z_]*($' | tr -d '(' | sort)
exported=$(nm -D --defined-only "$1" | awk '{print $NF}' | sort)
[ "$declared" = "$exported" ] || {
  echo "$1 exports what kbn.h does not declare, or misses what it does:" >&2
  diff <(echo "$declared") <(echo "$exported") >&2
  exit 1
}
echo "$1 exports the $(wc -l <<<"$declared") functions of the C API and nothing else"
