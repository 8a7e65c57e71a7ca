#!/bin/sh
# Checks the manual pages FOLDER/*.1, one way or the other:
#   man_pages_check.sh lint FOLDER
#       mandoc -Tlint has nothing to say about any page, not even a style
#       note; without mandoc the check is skipped (exit status 77).
#   man_pages_check.sh headers FOLDER VERSION
#       every page has one .TH line with its name, section 1, a full date
#       (YYYY-MM-DD), the same on every page, and "tarnsim VERSION"; and its
#       VEDI ANCHE names every other page's program, in alphabetical order,
#       one ".BR name (1)," a line, the last without the comma.
set -u
export LC_ALL=C
mode=$1
folder=$2

if [ "$mode" = lint ]; then
    if ! command -v mandoc >/dev/null 2>&1; then
        echo "mandoc non è installato: il controllo delle pagine di manuale è saltato"
        exit 77
    fi
    mandoc -Tlint "$folder"/*.1 || exit 1
    exit 0
fi

version=$3
version_pattern=$(printf '%s' "$version" | sed 's/[.]/[.]/g')
names=
for page in "$folder"/*.1; do
    name=${page##*/}
    names="$names ${name%.1}"
done

failed=0
first_date=
for name in $names; do
    page=$folder/$name.1
    title=$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')
    headers=$(grep -c '^\.TH ' "$page")
    date=$(sed -n 's/^\.TH '"$title"' 1 "\([0-9]\{4\}-[0-1][0-9]-[0-3][0-9]\)" "tarnsim '"$version_pattern"'" "Comandi utente"$/\1/p' "$page")
    if [ "$headers" -ne 1 ] || [ -z "$date" ]; then
        echo "$page: serve una sola riga .TH $title 1 \"AAAA-MM-GG\" \"tarnsim $version\" \"Comandi utente\", c'è:"
        grep '^\.TH ' "$page"
        failed=1
    elif [ -z "$first_date" ]; then
        first_date=$date
        first_page=$page
    elif [ "$date" != "$first_date" ]; then
        echo "$page: la data $date non è quella di $first_page ($first_date)"
        failed=1
    fi

    expected=$(for other in $names; do
        [ "$other" = "$name" ] || printf '.BR %s (1),\n' "$other"
    done | sed '$ s/,$//')
    actual=$(awk '/^\.SH/ { inside = ($0 == ".SH VEDI ANCHE"); next } inside' "$page")
    if [ "$actual" != "$expected" ]; then
        echo "$page: VEDI ANCHE dovrebbe essere"
        printf '%s\n' "$expected"
        echo "invece è"
        printf '%s\n' "$actual"
        failed=1
    fi
done
exit $failed
