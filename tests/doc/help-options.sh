# Reads what scalino-cli's help texts list; sourced by the tests in this folder.

# The commands that 'scalino-cli --help' lists, one per line.
help_commands() {
    local cli=$1
    "$cli" --help | sed -n '/^Commands:/,/^$/p' | sed -nE 's/^  ([a-z]+) .*/\1/p'
}

# The options that a help text lists, one per line: those that start a line of its option list
# ("  -b, --baud RATE", "  --long", "  --"), and those in brackets on its usage lines.
help_options_of_text() {
    local text=$1
    sed -nE -e 's/^  (-[a-zA-Z]), (--[a-zA-Z][a-zA-Z-]*).*/\1\n\2/p' -e 't' \
        -e 's/^  (--?[a-zA-Z][a-zA-Z-]*|--)( .*)?$/\1/p' <<<"$text"
    sed -n '/^Usage:/,/^$/p' <<<"$text" | { grep -oE '\[--?[a-zA-Z][a-zA-Z-]*' || true; } |
        tr -d '['
}

# The options of COMMAND's --help, sorted and without repeats; with no COMMAND, those of
# 'scalino-cli --help' and the --version it names.
help_options() {
    local cli=$1 command=${2-} text
    if [[ -z $command ]]; then
        text=$("$cli" --help)
        { help_options_of_text "$text"; grep -oE -- '--version' <<<"$text"; } | sort -u
    else
        text=$("$cli" -q "$command" --help 2>/dev/null) || return 1
        help_options_of_text "$text" | sort -u
    fi
}
