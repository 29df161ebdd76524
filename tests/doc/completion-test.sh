#!/usr/bin/env bash
# The bash completion of scalino-cli: what it offers for a table of command lines, and its tables
# against the program (the keys 'settings' prints, the values --set accepts, the commands and
# options of the help texts, the instruments).
#   completion-test.sh SOURCE_DIR SCALINO_CLI
set -uo pipefail
source_dir=$1
cli=$(realpath "$2")
source "$source_dir/tests/doc/help-options.sh"
source "$source_dir/doc/scalino-cli.bash-completion"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SCALINO_PREFS_FILE=$work/prefs.txt
export SERIAL_PORT_LIST=/dev/ttyFAKE0:/dev/ttyFAKE1
touch "$work/press.xml" "$work/prefs.txt"
# The ports come from 'scalino-cli -q ports', the program on PATH or the one named on the line.
PATH=$(dirname "$cli"):$PATH
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'

# Runs the completion on LINE (the cursor at its end) as bash calls it: COMP_WORDS split at
# blanks and at '=', which bash's default COMP_WORDBREAKS holds. With "words", COMP_LINE and
# COMP_POINT are left out, as a caller that sets only the words does.
complete_line() {
    local line=$1 how=${2-line} word piece
    COMP_WORDS=()
    for word in $line; do
        while [[ $word == *=* ]]; do
            piece=${word%%=*}
            [[ -n $piece ]] && COMP_WORDS+=("$piece")
            COMP_WORDS+=("=")
            word=${word#*=}
        done
        [[ -n $word ]] && COMP_WORDS+=("$word")
    done
    [[ $line == *[\ =] ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    if [[ $how == line ]]; then
        COMP_LINE=$line
        COMP_POINT=${#line}
    else
        unset COMP_LINE COMP_POINT
    fi
    _scalino_cli 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}"
}

keys=$("$cli" -q settings | cut -d= -f1)
all_keys=$(sed 's/$/=/' <<<"$keys" | sort | tr '\n' ' ')
ports="/dev/ttyFAKE0 /dev/ttyFAKE1"

# LINE | what the completion offers, in any order. <space> marks a line that ends in a blank,
# @ stands for a folder with the files prefs.txt and press.xml, % for the program's path.
while IFS='|' read -r line expected; do
    [[ -z $line || $line == \#* ]] && continue
    line=${line//@/$work}
    line=${line%"${line##*[! ]}"}
    line=${line%<space>}
    line=${line//%/$cli}
    expected=${expected//@/$work}
    expected=$(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort | tr '\n' ' ')
    for how in line words; do
        got=$(complete_line "$line" "$how" | sed '/^$/d' | sort | tr '\n' ' ')
        [[ $got == "$expected" ]] ||
            fail "[$line] ($how): offers '$got', expected '$expected'"
    done
done <<EOF_CASES
scalino-cli <space>                               | process read ports detect instruments settings export import type simulate version
scalino-cli s                                     | settings simulate
scalino-cli -                                     | -q --quiet -h --help --version
scalino-cli -q <space>                            | process read ports detect instruments settings export import type simulate version
scalino-cli read --                               | --port --prefs --set --defaults --baud --line --type --keyboard --sound --help --quiet
scalino-cli read -                                | --port --prefs --set --defaults -b --baud --line --type --keyboard --sound --help --quiet
scalino-cli ports --                              | --long --help --quiet
scalino-cli simulate --                           | --interval --count --link --prefs --set --defaults --help --quiet
scalino-cli read --set <space>                    | $all_keys
scalino-cli settings --set pa                     | parity=
scalino-cli read --set parity=                    | NONE ODD EVEN MARK SPACE
scalino-cli read --set parity=E                   | EVEN
scalino-cli settings --set keyboardType=          | DESKTOP QWERTY US_INTERNATIONAL AZERTY GERMAN
scalino-cli process --set roundingMethod=         | CEILING DOWN FLOOR HALF_DOWN HALF_EVEN HALF_UP UP
scalino-cli process --set roundingMethod=HALF_    | HALF_DOWN HALF_EVEN HALF_UP
scalino-cli read --set ignoreDuplicates=          | true false
scalino-cli read --set instrument=KERN_M          | KERN_MPS
scalino-cli read --set customRegEx=               |
scalino-cli read --set port=                      | $ports
scalino-cli read --type --keyboard <space>        | auto portal kde wayland uinput x11 record
scalino-cli type 12 --keyboard=r                  | record
scalino-cli type 12 --keyboard=w                  | wayland
scalino-cli type 12 --keyboard=p                  | portal
scalino-cli type 12 --keyboard=k                  | kde
scalino-cli -q read --port <space>                | $ports
scalino-cli read --port=/dev/ttyFAKE1             | /dev/ttyFAKE1
% read --port /dev/ttyFAKE                        | $ports
scalino-cli read -b 96                            | 9600
scalino-cli read --line <space>                   | 9600,8N1 2400,7E1,LF 9600,8N1,CR 4800,7O2 19200,8N1,LF
scalino-cli read --line 24                        | 2400,7E1,LF
scalino-cli settings --prefs @/pref               | @/prefs.txt
scalino-cli export @/pre                          | @/prefs.txt @/press.xml
scalino-cli import --prefs @/prefs.txt @/pres     | @/press.xml
scalino-cli export out.xml <space>                |
scalino-cli export out.xml --                     | --prefs --help --quiet
scalino-cli simulate --count <space>              |
scalino-cli type -- --                            |
scalino-cli version <space>                       |
scalino-cli frobnicate --                         |
EOF_CASES

# The completion's tables against the program.
[[ $(printf '%s\n' "${_scalino_cli_keys[@]}" | sort) == $(sort <<<"$keys") ]] ||
    fail "the keys of --set differ from those 'scalino-cli settings' prints: " \
        "$(diff <(printf '%s\n' "${_scalino_cli_keys[@]}" | sort) <(sort <<<"$keys") | tr '\n' ' ')"
(($(wc -l <<<"$keys") >= 30)) || fail "'scalino-cli settings' printed only: $keys"

[[ $(help_commands "$cli" | tr '\n' ' ') == "$_scalino_cli_commands " ]] ||
    fail "the commands differ from those of 'scalino-cli --help'"
for option in $(help_options "$cli"); do
    [[ " $_scalino_cli_global_options " == *" $option "* ]] ||
        fail "$option of 'scalino-cli --help' is not completed"
done
for command in $_scalino_cli_commands; do
    options=$(help_options "$cli" "$command") || continue
    for option in $options; do
        [[ " ${_scalino_cli_options[$command]} " == *" $option "* ]] ||
            fail "$option of 'scalino-cli $command --help' is not completed"
    done
done

[[ $("$cli" -q instruments | cut -f1 | tr '\n' ' ') == "$(echo ${_scalino_cli_values[instrument]}) " ]] ||
    fail "the instruments differ from those 'scalino-cli instruments' lists"

checked=0
for key in "${!_scalino_cli_values[@]}"; do
    [[ " $keys " == *[[:space:]]$key[[:space:]]* ]] || fail "values for the unknown key $key"
    for value in ${_scalino_cli_values[$key]}; do
        checked=$((checked + 1))
        "$cli" -q settings --set "$key=$value" >/dev/null 2>"$work/error" ||
            fail "scalino-cli settings --set $key=$value: $(cat "$work/error")"
    done
    # What the program names as accepted is offered: the list of its message, "F1 to F12" spelt
    # out and the bit rates of the parentheses.
    message=$("$cli" -q settings --set "$key=no-such-value" 2>&1 >/dev/null)
    accepted=${message##*: expected }
    if [[ $accepted =~ \(([0-9, ]+)\)$ ]]; then
        accepted=${BASH_REMATCH[1]}
    elif [[ $accepted == *"F1 to F12" ]]; then
        accepted="${accepted%F1 to F12}$(echo F{1..12})"
    elif [[ ! $accepted =~ ^[A-Z_]+(,\ [A-Z_]+)*\ or\ [A-Z_]+$|^[0-9]+(,\ [0-9]+)*\ or\ [0-9]+$ ]]; then
        continue
    fi
    for value in $(sed 's/,/ /g; s/ or / /' <<<"$accepted"); do
        [[ " $(echo ${_scalino_cli_values[$key]}) " == *" $value "* ]] ||
            fail "--set $key=$value, which the program accepts, is not completed"
    done
done
((checked >= 100)) || fail "only $checked values checked"

((failures == 0)) && echo "The completion offers what the program takes ($checked values checked)."
exit $((failures > 0))
