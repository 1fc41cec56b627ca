#!/usr/bin/env bash
# Every include of a project header runs down the layers or stays in its
# folder: a folder may include only the folders listed below it here (the
# links of its library, followed through). Prints each include that runs
# the wrong way and fails when there is one.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
declare -A below=(
  [base]=""
  [crypto]="base"
  [serial]="base"
  [protocol]="crypto base"
  [transfer]="protocol crypto base"
  [macpool]="base"
  [session]="transfer protocol crypto serial base"
  [provision]="session transfer protocol crypto serial macpool base"
  [simulator]="transfer protocol crypto base"
  [resources]=""
  [ui/frame]="resources"
  [ui/boxes]="ui/frame resources"
  [ui/dialogs]="ui/boxes ui/frame resources macpool protocol crypto base"
  [ui/device]="ui/dialogs ui/boxes ui/frame resources provision session transfer protocol crypto serial macpool base"
  [ui/macpage]="ui/boxes ui/frame resources macpool base"
  [ui/station]="ui/boxes ui/frame resources provision session transfer protocol crypto serial macpool base"
  [app]="ui/device ui/macpage ui/station ui/dialogs ui/boxes ui/frame resources provision session transfer protocol crypto serial macpool base simulator"
  [cli]="provision session transfer protocol crypto serial macpool base"
)
wrong=0
for folder in "${!below[@]}"; do
  for file in "$root/$folder"/*.cpp "$root/$folder"/*.h; do
    [[ -e $file ]] || continue
    while read -r target; do
      dir=${target%/*}
      [[ $dir == "$folder" || " ${below[$folder]} " == *" $dir "* ]] && continue
      echo "${file#"$root"/} includes $target"
      wrong=1
    done < <(sed -n 's/^#include "\([a-z_/]*\/[a-z_]*\.h\)"$/\1/p' "$file")
  done
done
exit $wrong
