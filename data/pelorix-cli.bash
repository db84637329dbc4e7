# bash completion for pelorix-cli                                     -*- shell-script -*-

_pelorix_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local IFS=$'\n'
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W $'add\ndelete\njoin\nrefresh\nupdate\nplayers\nsettings\nwait\nwebget\nhelp\n--help\n--version' -- "$cur"))
        return
    fi

    case ${COMP_WORDS[1]} in
    join | wait)
        # --password takes the password, and the address is typed: nothing to offer.
        [[ $prev == --password ]] && return
        [[ $cur == -* ]] && COMPREPLY=($(compgen -W $'--password\n--dry-run' -- "$cur"))
        ;;
    refresh)
        # --find takes a player's name: nothing to offer.
        [[ $prev == --find ]] && return
        if [[ $prev == --sort ]]; then
            local columns=$'name\nplayers\nping\ngametype\nmap\naddress\nvariant\nversion\njoin'
            COMPREPLY=($(compgen -W "$columns"$'\n'"${columns//$'\n'/$':desc\n'}:desc" -- "$cur"))
            return
        fi
        COMPREPLY=($(compgen -W $'--json\n--keep-unanswered\n--find\n--sort' -- "$cur"))
        ;;
    update | players)
        # The address is the server's host:port: nothing to offer.
        [[ $cur == -* ]] && COMPREPLY=($(compgen -W $'--json' -- "$cur"))
        ;;
    settings)
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -W $'list\nget\nset' -- "$cur"))
            return
        fi
        case $prev in
        --type)
            COMPREPLY=($(compgen -W $'text\nflag\ninteger' -- "$cur"))
            return
            ;;
        --default) return ;;
        esac
        case ${COMP_WORDS[2]} in
        get | set)
            if [[ $cur == -* ]]; then
                local options=$'--type'
                [[ ${COMP_WORDS[2]} == get ]] && options+=$'\n--default'
                COMPREPLY=($(compgen -W "$options" -- "$cur"))
                return
            fi
            # The key is the first word after get or set that is no option or option value.
            local i words=0
            for ((i = 3; i < COMP_CWORD; i++)); do
                case ${COMP_WORDS[i]} in
                --type | --default) ((i++)) ;;
                *) ((words++)) ;;
                esac
            done
            if ((words == 0)); then
                # The keys the program reads and writes, and those already stored.
                local keys=$'nick\nproxy\nproxyserver\nproxyport\nproxyuser\nproxypassword\nhide_na_servers'
                keys+=$'\nmaxping\nping\ngametype\ngametype_name\ngametype_index\nhide_password_servers'
                keys+=$'\nhide_full_servers\nhide_empty_servers\nshow_game_version\ngame_version_index\nmotd'
                keys+=$'\nignoreping\n10\n11\nx\nMOD_EXE\nMOD_CONTENT'
                keys+=$'\n'$(command pelorix-cli settings list 2>/dev/null | cut -f1 | grep -vx '@')
                # A stored key may hold blanks ("VEKTA4 1.0"): each reply is quoted for the command line.
                local key
                while IFS= read -r key; do
                    [[ -n $key ]] && COMPREPLY+=("$(printf '%q' "$key")")
                done < <(compgen -W "$keys" -- "$cur")
            fi
            ;;
        esac
        ;;
    delete)
        [[ $cur == -* ]] && COMPREPLY=($(compgen -W $'--password-stdin' -- "$cur"))
        ;;
    webget)
        [[ $prev == --agent ]] && return
        [[ $cur == -* ]] && COMPREPLY=($(compgen -W $'--agent' -- "$cur"))
        ;;
    esac
}
complete -F _pelorix_cli pelorix-cli
