# bash completion for grittor-cli: commands, their options, and file names
# where a file or device is expected.

_grittor_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="info render plot job run query send xmodem --help --version"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    case $prev in
        -o | --output)
            _filedir png
            return
            ;;
        --library)
            _filedir json
            return
            ;;
        --port)
            COMPREPLY=($(compgen -f -- "${cur:-/dev/tty}"))
            return
            ;;
        --size | --multiplier | --origin | --reference | --skew | --stretch | --speed | --material | \
            --baud | --timeout | --ack-timeout | --tries | --limit)
            return
            ;;
    esac

    local options
    case ${words[1]} in
        info) options="--json --multiplier --partial" ;;
        render) options="-o --output --size --multiplier --partial" ;;
        plot) options="--origin --material --library --multiplier --partial" ;;
        job) options="--reference --skew --speed --material --library --border --multiplier --partial" ;;
        run) options="--port --reference --skew --stretch --material --library --multiplier --baud --partial" ;;
        query) options="--port --baud --timeout --limit --binary" ;;
        send) options="--port --baud --timeout" ;;
        xmodem) options="--port --baud --timeout --ack-timeout --tries" ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case ${words[1]} in
        info | render | plot | job | run) _filedir '@(plt|hpgl|hpg|hgl|prn|pen|PLT|HPGL|HPG|HGL|PRN|PEN)' ;;
        send | xmodem) _filedir ;;
    esac
} && complete -F _grittor_cli grittor-cli
