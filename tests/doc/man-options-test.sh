#!/usr/bin/env bash
# scalino-cli.1 keeps up with the program: every command that 'scalino-cli --help' lists has its
# section, and every option that 'scalino-cli COMMAND --help' lists is in the page.
#   man-options-test.sh SOURCE_DIR SCALINO_CLI
set -uo pipefail
source_dir=$1
cli=$2
source "$source_dir/tests/doc/help-options.sh"
page=$source_dir/doc/scalino-cli.1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The page as a reader sees it, in lines long enough that no option is broken across two.
text=$(groff -man -Tascii -P-cbou -rLL=3000n -rHY=0 "$page" 2>/dev/null)
[[ -n $text ]] || fail "scalino-cli.1 does not format"

# Whether the formatted page has OPTION as a word of its own.
page_has() {
    grep -qE -- "(^|[^a-zA-Z0-9-])$1([^a-zA-Z0-9-]|\$)" <<<"$text"
}

mapfile -t commands < <(help_commands "$cli")
((${#commands[@]} >= 10)) || fail "'scalino-cli --help' lists ${#commands[@]} commands"

for option in $(help_options "$cli"); do
    page_has "$option" || fail "scalino-cli.1 lacks $option of 'scalino-cli --help'"
done

checked=0
for command in "${commands[@]}"; do
    grep -qx "\.SS $command" "$page" || fail "scalino-cli.1 has no section for the command $command"
    if ! options=$(help_options "$cli" "$command"); then
        # version takes no arguments at all, --help neither.
        [[ $command == version ]] || fail "'scalino-cli $command --help' fails"
        continue
    fi
    for option in $options; do
        checked=$((checked + 1))
        # Within the command's own section, so that an option is not counted for the wrong one.
        section=$(awk -v name="   $command" '
            $0 == name { inside = 1; next }
            inside && (/^   [a-z]+$/ || /^[A-Z]/) { exit }
            inside' <<<"$text")
        grep -qE -- "(^|[^a-zA-Z0-9-])$option([^a-zA-Z0-9-]|\$)" <<<"$section" ||
            fail "the section $command of scalino-cli.1 lacks $option"
    done
done
((checked >= 40)) || fail "only $checked options found in the help texts; is the extraction right?"

((failures == 0)) && echo "scalino-cli.1 has ${#commands[@]} commands and all $checked options."
exit $((failures > 0))
