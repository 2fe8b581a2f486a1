# bash completion for corvana                                          -*- shell-script -*-

_corvana_serial_ports() {
    # Stable links first: they survive plugging the adapter into another socket.
    local ports=() path
    for path in /dev/serial/by-id/* /dev/serial/by-path/* /dev/ttyUSB* /dev/ttyACM* \
        /dev/ttyS* /dev/ttyAMA* /dev/ttyTHS* /dev/rfcomm*; do
        [[ -e $path ]] && ports+=("$path")
    done
    COMPREPLY=($(compgen -W "${ports[*]}" -- "$cur"))
    # Let the user type a path of their own as well.
    [[ ${#COMPREPLY[@]} -eq 0 ]] && COMPREPLY=($(compgen -f -- "$cur"))
}

# corvana ctl [--socket PATH] COMMAND [KEY=VALUE]...: the options, then the commands, then the
# keys of the command given.
_corvana_ctl() {
    if [[ $prev == --socket ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    fi
    local i command=
    for ((i = 2; i < cword; i++)); do
        case ${words[i]} in
        --socket) ((i++)) ;;
        -*) ;;
        *) command=${words[i]}; break ;;
        esac
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W '--socket --help status get set unit rules project report
            resetReport log stop' -- "$cur"))
        return
    fi
    local keys=
    case $command in
    get) keys='unit= name= table= address=' ;;
    set) keys='unit= name= table= address= value=' ;;
    unit) keys='unit= enabled= fault= exceptionCode= delayMs= undefinedAddresses= name=' ;;
    rules) keys='unit= set=' ;;
    project) keys='path= load=' ;;
    esac
    case $cur in
    table=*) COMPREPLY=($(compgen -P table= -W 'coil discreteInput holdingRegister inputRegister' \
        -- "${cur#table=}")) ;;
    fault=*) COMPREPLY=($(compgen -P fault= -W 'none noResponse exception badCRC' \
        -- "${cur#fault=}")) ;;
    enabled=*) COMPREPLY=($(compgen -P enabled= -W 'true false' -- "${cur#enabled=}")) ;;
    undefinedAddresses=*) COMPREPLY=($(compgen -P undefinedAddresses= -W 'exception zero' \
        -- "${cur#undefinedAddresses=}")) ;;
    path=*) COMPREPLY=($(compgen -P path= -f -- "${cur#path=}")) ;;
    *) COMPREPLY=($(compgen -W "$keys" -- "$cur")) ;;
    esac
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
}

_corvana() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W 'serve ctl --help --version' -- "$cur"))
        return
    fi
    if [[ ${words[1]} == ctl ]]; then
        _corvana_ctl
        return
    fi
    [[ ${words[1]} == serve ]] || return

    case $prev in
    --project)
        if declare -F _filedir >/dev/null; then _filedir json; else
            COMPREPLY=($(compgen -f -- "$cur")); fi
        return ;;
    --csv)
        if declare -F _filedir >/dev/null; then _filedir csv; else
            COMPREPLY=($(compgen -f -- "$cur")); fi
        return ;;
    --report)
        if declare -F _filedir >/dev/null; then _filedir json; else
            COMPREPLY=($(compgen -f -- "$cur")); fi
        return ;;
    --port)
        _corvana_serial_ports
        return ;;
    --baud)
        COMPREPLY=($(compgen -W '1200 2400 4800 9600 14400 19200 38400 57600 115200 230400' \
            -- "$cur"))
        return ;;
    --frame)
        COMPREPLY=($(compgen -W '8N1 8E1 8O1 8N2 8E2 8O2 7N1 7E1 7O1 7N2 7E2 7O2' -- "$cur"))
        return ;;
    --tcp | --rtu-over-tcp)
        # [HOST:]PORT: the usual ports, on this computer only or on all networks.
        local port=1502
        [[ $prev == --rtu-over-tcp ]] && port=1503
        COMPREPLY=($(compgen -W "$port 127.0.0.1:$port 0.0.0.0:$port" -- "$cur"))
        return ;;
    --max-clients)
        COMPREPLY=($(compgen -W '1 4 32 100' -- "$cur"))
        return ;;
    --virtual | --control)
        # An optional path: offer files, or the options when the user goes on with one.
        if [[ $cur != -* ]]; then
            COMPREPLY=($(compgen -f -- "$cur"))
            return
        fi ;;
    esac

    COMPREPLY=($(compgen -W '--project --csv --port --virtual --baud --frame --no-timestamps
        --raw-frames --bus-traffic --exit-on-loss --tcp --rtu-over-tcp --max-clients --report
        --control --help' -- "$cur"))
} &&
    complete -F _corvana corvana

# ex: filetype=sh
