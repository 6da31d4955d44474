# bash completion for murmelo

_murmelo()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur="${COMP_WORDS[COMP_CWORD]}"
        prev="${COMP_WORDS[COMP_CWORD - 1]}"
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="reverse waveform spectrogram merge clip import library labels suggest words telemetry share publish help"
    local audio='@(mp3|m4a|aac|alac|flac|ogg|oga|opus|wav|aif|aiff|mp4|m4v|mov|mkv|webm)'

    if ((cword == 1)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-h --help -V --version" -- "$cur"))
        else
            # A command, or a file to open in the window.
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            local IFS=$'\n' extglob
            extglob=$(shopt -p extglob)
            shopt -s extglob
            COMPREPLY+=($(compgen -f -X "!*.$audio" -- "$cur") $(compgen -d -- "$cur"))
            eval "$extglob"
        fi
        return
    fi

    local command="${words[1]}" options=""
    case $command in
        reverse) options="-o --output --waveform" ;;
        waveform) options="-o --output --size --bar-width" ;;
        spectrogram) options="-o --output --size --log" ;;
        merge) options="-o --output --factor" ;;
        clip) options="-o --output --start --end" ;;
        import) options="-o --output" ;;
        library) options="--json" ;;
        labels) options="--forward" ;;
        suggest) options="--forward" ;;
        words) options="" ;;
        telemetry) options="" ;;
        share) options="--to --message --name --speed" ;;
        publish) options="-o --output --folder --slow" ;;
        help)
            ((cword == 2)) && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return
            ;;
        *) return ;;
    esac

    # The value of an option that takes one.
    case $prev in
        -o | --output | --waveform)
            local IFS=$'\n'
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --folder)
            local IFS=$'\n'
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --size | --bar-width | --factor | --start | --end | --to | --message | --name | --speed | --slow)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "-h --help $options" -- "$cur"))
        return
    fi

    # The first word after the command names an action for these.
    local first=""
    local i
    for ((i = 2; i < cword; i++)); do
        [[ ${words[i]} != -* ]] && { first="${words[i]}"; break; }
    done
    case $command in
        library)
            [[ -z $first ]] && { COMPREPLY=($(compgen -W "list export delete" -- "$cur")); return; }
            ;;
        labels)
            [[ -z $first ]] && { COMPREPLY=($(compgen -W "export import" -- "$cur")); return; }
            ;;
        telemetry)
            [[ -z $first ]] && { COMPREPLY=($(compgen -W "dump" -- "$cur")); return; }
            ;;
        share | publish | suggest | words)
            return # a recording's ID
            ;;
    esac
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
} &&
    complete -F _murmelo murmelo
