#!/usr/bin/env bash
# Prints a deb-src sources list made from the machine's own apt configuration: one line per
# URI and suite of its enabled "deb" entries, in the one-line or the deb822 format, with
# their Signed-By kept. Exits 1 with a message when the machine has no usable entry.
#   cmake/apt-deb-src.sh [APT_ETC]      (default /etc/apt)
set -euo pipefail
etc=${1:-/etc/apt}
files=()
[ -f "$etc/sources.list" ] && files+=("$etc/sources.list")
for f in "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] && files+=("$f")
done
out=$(for f in "${files[@]}"; do
    case $f in
    *.sources)  # deb822: stanzas separated by blank lines; continuation lines start with a space
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no" && uris != "" && suites != "") {
                    opt = (signed ~ /^\//) ? "[signed-by=" signed "] " : ""
                    n = split(uris, u, " "); m = split(suites, s, " ")
                    for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
                        print "deb-src " opt u[i] " " s[j] (s[j] ~ /\/$/ ? "" : " " comps)
                }
                types = uris = suites = comps = signed = enabled = ""; key = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]/ { next }  # continuation (an inline key): not a path, so not kept
            {
                key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^ +/, ""); val = $0
                if (key == "types") types = val; else if (key == "uris") uris = val
                else if (key == "suites") suites = val; else if (key == "components") comps = val
                else if (key == "signed-by") signed = val; else if (key == "enabled") enabled = val
            }
            END { flush() }' "$f" ;;
    *)  # one-line: deb [options] URI suite [component...]
        awk '
            $1 != "deb" { next }
            {
                opt = ""; i = 2
                if ($2 ~ /^\[/) {
                    while (i <= NF && $i !~ /\]$/) { opt = opt " " $i; i++ }
                    opt = opt " " $i; i++
                    sub(/^ /, "", opt)
                    opt = opt " "
                }
                line = "deb-src " opt
                for (; i <= NF; i++) { if ($i ~ /^#/) break; line = line $i (i < NF ? " " : "") }
                sub(/ +$/, "", line)
                print line
            }' "$f" ;;
    esac
done)
if [ -z "$out" ]; then
    echo "no enabled 'deb' entry in $etc/sources.list or $etc/sources.list.d: cannot tell where" \
         "to fetch Debian's sources from" >&2
    exit 1
fi
printf '%s\n' "$out"
