#!/usr/bin/env bash
# Completes a few command lines with the bash completion and checks the offers.
# Not -e: compgen fails when nothing matches, as completion functions expect.
set -uo pipefail
source "$1"
fail=0
# expect "WORDS…" "OFFER…": completing the last word of WORDS offers at least each OFFER.
expect() {
    local line="$1" wanted="$2" offer
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _corvana corvana "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    for offer in $wanted; do
        if [[ " ${COMPREPLY[*]} " != *" $offer "* ]]; then
            echo "corvana completion of '$line' lacks $offer: ${COMPREPLY[*]}"
            fail=1
        fi
    done
}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/plant.json" "$folder/points.csv"
expect "corvana " "serve ctl --help --version"
expect "corvana serve --ba" "--baud"
expect "corvana serve --" "--project --csv --port --virtual --baud --frame --no-timestamps --raw-frames --bus-traffic --exit-on-loss --tcp --rtu-over-tcp --max-clients --report --control --help"
expect "corvana serve --rtu-over-tcp 0" "0.0.0.0:1503"
expect "corvana serve --baud 19" "19200"
expect "corvana serve --frame 8E" "8E1 8E2"
expect "corvana serve --project $folder/pl" "$folder/plant.json"
expect "corvana serve --csv $folder/po" "$folder/points.csv"
expect "corvana serve --report $folder/pl" "$folder/plant.json"
expect "corvana serve --port /dev/pt" "/dev/ptmx"
expect "corvana ctl " "--socket --help status get set unit rules project report resetReport log stop"
expect "corvana ctl --socket $folder/pl" "$folder/plant.json"
expect "corvana ctl --socket /tmp/x.sock s" "status set stop"
expect "corvana ctl set unit=1 " "name= value= table= address="
expect "corvana ctl get unit=1 table=ho" "table=holdingRegister"
expect "corvana ctl unit unit=1 fault=no" "fault=none fault=noResponse"
expect "corvana serve --control --h" "--help"
exit $fail
