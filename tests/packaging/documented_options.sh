#!/usr/bin/env bash
# `tavrik-batch --help`, its manual page and its bash completion name the same options, steps
# and option values. The page is rendered by man and the completion run in bash, as a user
# would meet them. Usage: documented_options.sh TAVRIK-BATCH MANPAGE COMPLETION
# Exit status 77 (skipped) when man or bash-completion is missing.
set -euo pipefail
tool=$(realpath "$1") manpage=$2 completion=$(realpath "$3")
bash_completion=/usr/share/bash-completion/bash_completion
command -v man > /dev/null || { echo "SKIP: man (man-db) is not installed"; exit 77; }
[ -f "$bash_completion" ] || { echo "SKIP: bash-completion is not installed"; exit 77; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
options_in() { grep -o -- '--[a-z][a-z-]*' | sort -u || true; }
# Compares two sorted lists; names what only one side has.
same() {  # what, left name, left list, right name, right list
  local only
  only=$(comm -23 <(echo "$3") <(echo "$5") | paste -sd " " -)
  [ -z "$only" ] || fail "$1: in $2 but not in $4: $only"
  only=$(comm -13 <(echo "$3") <(echo "$5") | paste -sd " " -)
  [ -z "$only" ] || fail "$1: in $4 but not in $2: $only"
}

help=$("$tool" --help)
help_options=$(options_in <<< "$help")
[ "$(wc -l <<< "$help_options")" -ge 3 ] || fail "--help names too few options: $help_options"
# "  --opt VALUE   text": the option takes a value; "--opt a|b" lists every value it accepts.
value_options=$(sed -nE 's/^ +(--[a-z-]+) [^ ].*/\1/p' <<< "$help" | sort -u)
help_steps=$(sed -n '/^Étapes :/,/^$/p' <<< "$help" | sed -nE 's/^ +([a-z]+) .*/\1/p' | sort)
[ -n "$help_steps" ] || fail "--help lists no step"

# The manual page: every option has an entry in OPTIONS, and the page names no other option.
page=$(LC_ALL=C.UTF-8 MANWIDTH=250 man --warnings -l "$manpage" 2> "${TMPDIR:-/tmp}/man-warnings.$$")
warnings=$(cat "${TMPDIR:-/tmp}/man-warnings.$$"); rm -f "${TMPDIR:-/tmp}/man-warnings.$$"
[ -z "$warnings" ] || fail "man reports: $warnings"
entries=$(sed -n '/^OPTIONS$/,/^[^ ]/p' <<< "$page" | sed -nE 's/^ {7}(--[a-z-]+).*/\1/p' | sort -u)
same "options" "--help" "$help_options" "the manual page's OPTIONS" "$entries"
same "options" "--help" "$help_options" "the manual page" "$(options_in <<< "$page")"
page_steps=$(sed -n '/^ÉTAPES$/,/^[^ ]/p' <<< "$page" | sed -nE 's/^ {7}([a-z]+) .*/\1/p' | sort)
same "steps" "--help" "$help_steps" "the manual page's ÉTAPES" "$page_steps"

# The completion, run in bash in a folder holding pictures, another file and a folder.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/folder"
touch "$scratch/level.bmp" "$scratch/LEVEL2.PNG" "$scratch/notes.txt"
complete_words() {  # prints what the completion offers for the last word, one per line
  (cd "$scratch" && bash -c '
    source "$1"; source "$2"; shift 2
    compopt() { :; }  # only meaningful inside a real completion
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _tavrik_batch tavrik-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_completion" "$completion" tavrik-batch "$@" | sort)
}
bash -c 'source "$1" && source "$2" && complete -p tavrik-batch' _ "$bash_completion" "$completion" \
  > /dev/null || { echo "FAIL: $completion does not set up the completion of tavrik-batch"; exit 1; }
same "options" "--help" "$help_options" "the completion of --" "$(complete_words --)"
for option in $value_options; do
  # A value may begin with "-": after an option that takes one, no option is offered.
  offered=$(complete_words "$option" - | options_in | paste -sd " " -)
  [ -z "$offered" ] || fail "completion offers options as the value of $option: $offered"
  values=$(sed -nE "s/^ +$option ([a-z0-9-]+(\|[a-z0-9-]+)+) .*/\1/p" <<< "$help" | tr '|' '\n' | sort)
  [ -z "$values" ] || same "values of $option" "--help" "$values" "the completion" "$(complete_words "$option" '')"
done
same "steps" "--help" "$(printf '%s\nnone\n' "$help_steps" | sort)" "the completion of --steps" \
  "$(complete_words --steps '')"
same "second step" "--help" "$(sed 's/^/cutout,/' <<< "$help_steps")" \
  "the completion of --steps cutout," "$(complete_words --steps cutout,)"
same "pictures" "the expected" "$(printf 'LEVEL2.PNG\nfolder\nlevel.bmp\n' | sort)" \
  "the completion" "$(complete_words --quiet '')"
folder_options=$(sed -nE 's/^ +(--[a-z-]+) DOSSIER .*/\1/p' <<< "$help")
[ -n "$folder_options" ] || fail "--help names no option that takes a DOSSIER"
for option in $folder_options; do
  same "folders" "the expected" "folder" "the completion of $option" "$(complete_words "$option" '')"
  same "folders" "the expected" "folder" "the completion of $option=" "$(complete_words "$option=")"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "--help, the manual page and the completion agree: $(paste -sd " " - <<< "$help_options")"
