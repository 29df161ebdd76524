#!/usr/bin/env bash
# The manual pages format without a single warning from groff (all warnings on) or man-db.
#   man-render-test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
failures=0

# groff's exit status stays 0 on warnings, so its standard error is what counts.
warnings_of() {
    local page=$1
    groff -man -Tutf8 -ww -z "$page" 2>&1 >/dev/null
    if command -v man >/dev/null; then
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null
    fi
}

# The check itself finds a warning: a page with an undefined macro and a bad font.
broken=$(mktemp --suffix=.1)
trap 'rm -f "$broken"' EXIT
printf '.TH BROKEN 1\n.SH NAME\nbroken \\- a page\n.NOSUCHMACRO\n\\f[NoSuchFont]x\n' >"$broken"
if [[ -z $(warnings_of "$broken") ]]; then
    echo "FAIL: no warning for a page with an undefined macro; the check sees nothing"
    failures=$((failures + 1))
fi

for page in "$source_dir"/doc/scalino-cli.1 "$source_dir"/doc/scalino.1; do
    output=$(warnings_of "$page")
    if [[ -n $output ]]; then
        echo "FAIL: ${page##*/} formats with warnings:"
        echo "$output"
        failures=$((failures + 1))
    fi
    # The page has the sections a reader looks for.
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES "SEE ALSO"; do
        if ! grep -qx "\.SH \"\?$section\"\?" "$page"; then
            echo "FAIL: ${page##*/} has no $section section"
            failures=$((failures + 1))
        fi
    done
done

((failures == 0)) && echo "The manual pages format without warnings."
exit $((failures > 0))
