#!/bin/sh
# Checks the manual pages FOLDER/*.1 (the programs) and FOLDER/*.7 (the
# browser edition), one way or the other:
#   man_pages_check.sh lint FOLDER
#       mandoc -Tlint has nothing to say about any page, not even a style
#       note; without mandoc the check is skipped (exit status 77).
#   man_pages_check.sh render FOLDER
#       every page, as mandoc -T utf8 renders it for a terminal, has no
#       ligature (U+FB00 to U+FB06, as a mistyped \(Fo or \(ff gives), its
#       guillemets paired (each « closed by a » before the next «), and no word
#       of more than 20 letters (words run together, as a macro such as .BR
#       does with what follows it on its line) but a key of JSON in quotes; and where man and groff are
#       there, groff has no warning at 80 and at 120 columns (lintian renders
#       at 120). Without mandoc the check is skipped (exit status 77).
#   man_pages_check.sh headers FOLDER VERSION
#       every page has one .TH line with its name, its section, a full date
#       (YYYY-MM-DD), the same on every page, "tarnsim VERSION" and the
#       section's title; and its VEDI ANCHE names every other page, in
#       alphabetical order, one ".BR name (section)," a line, the last
#       without the comma.
set -u
export LC_ALL=C
mode=$1
folder=$2

if [ "$mode" = lint ]; then
    if ! command -v mandoc >/dev/null 2>&1; then
        echo "mandoc non è installato: il controllo delle pagine di manuale è saltato"
        exit 77
    fi
    mandoc -Tlint "$folder"/*.1 "$folder"/*.7 || exit 1
    exit 0
fi

if [ "$mode" = render ]; then
    if ! command -v mandoc >/dev/null 2>&1; then
        echo "mandoc non è installato: il controllo delle pagine di manuale è saltato"
        exit 77
    fi
    failed=0
    for page in "$folder"/*.1 "$folder"/*.7; do
        # Bold and underline are overstruck with backspaces: only the
        # characters stay.
        mandoc -T utf8 "$page" | perl -CSD -Mutf8 -ne '
            BEGIN { $page = shift @ARGV; $open = 0; $failed = 0 }
            s/.\x08//g;
            sub fault { print "$page: riga $.: $_[0]:\n    $_"; $failed = 1 }
            fault("una legatura (U+FB00..U+FB06)") if /[\x{FB00}-\x{FB06}]/;
            # A long word in double quotes is a key of JSON, quoted whole.
            fault("una parola di più di 20 lettere") if /(?<![\p{L}"])\p{L}{21,}|\p{L}{21,}(?![\p{L}"])/;
            for my $mark (/([«»])/g) {
                if ($mark eq "«") { fault("« dentro una citazione già aperta alla riga $open") if $open; $open = $. }
                elsif (!$open) { fault("» senza un « che lo apra") }
                else { $open = 0 }
            }
            END {
                if ($open) { print "$page: il « della riga $open non è mai chiuso\n"; $failed = 1 }
                exit $failed;
            }' "$page" || failed=1
        if command -v man >/dev/null 2>&1 && command -v groff >/dev/null 2>&1; then
            for width in 80 120; do
                warnings=$(env -i PATH="$PATH" LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=$width \
                    man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
                if [ -n "$warnings" ]; then
                    printf '%s: groff a %s colonne:\n%s\n' "$page" "$width" "$warnings"
                    failed=1
                fi
            done
        fi
    done
    exit $failed
fi

version=$3
version_pattern=$(printf '%s' "$version" | sed 's/[.]/[.]/g')
# Every page as NAME.SECTION, in alphabetical order of the names.
pages=$(for page in "$folder"/*.1 "$folder"/*.7; do
    page=${page##*/}
    printf '%s %s\n' "${page%.*}" "$page"
done | sort -k1,1 | cut -d' ' -f2)

failed=0
first_date=
for file in $pages; do
    page=$folder/$file
    name=${file%.*}
    section=${file##*.}
    case $section in
        1) section_title="Comandi utente" ;;
        *) section_title="Varie" ;;
    esac
    title=$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')
    headers=$(grep -c '^\.TH ' "$page")
    date=$(sed -n 's/^\.TH '"$title $section"' "\([0-9]\{4\}-[0-1][0-9]-[0-3][0-9]\)" "tarnsim '"$version_pattern"'" "'"$section_title"'"$/\1/p' "$page")
    if [ "$headers" -ne 1 ] || [ -z "$date" ]; then
        echo "$page: serve una sola riga .TH $title $section \"AAAA-MM-GG\" \"tarnsim $version\" \"$section_title\", c'è:"
        grep '^\.TH ' "$page"
        failed=1
    elif [ -z "$first_date" ]; then
        first_date=$date
        first_page=$page
    elif [ "$date" != "$first_date" ]; then
        echo "$page: la data $date non è quella di $first_page ($first_date)"
        failed=1
    fi

    expected=$(for other in $pages; do
        [ "$other" = "$file" ] || printf '.BR %s (%s),\n' "${other%.*}" "${other##*.}"
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
