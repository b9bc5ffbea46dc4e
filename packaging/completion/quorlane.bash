# bash completion for quorlane. Commands and options come from quorlane's own help, server names
# from `quorlane list --json`, so the completion follows the installed version.

_quorlane_commands()
{
    quorlane --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}

_quorlane_options()
{
    quorlane "$1" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u
}

_quorlane_servers()
{
    quorlane list --json 2>/dev/null | grep -o '"name": *"\([^"\\]\|\\.\)*"' |
        sed 's/^"name": *"\(.*\)"$/\1/' | sort -u
}

_quorlane()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command=${COMP_WORDS[1]} IFS=$'\n'
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$(_quorlane_commands)"$'\n--help\n--version\n--preferences\n--demo' -- "$cur"))
        return
    fi
    case $prev in
    --project | --screenshot)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_quorlane_options "$command")" -- "$cur"))
        return
    fi
    case $command in
    enable | disable | tokens)
        COMPREPLY=($(compgen -W "$(_quorlane_servers)" -- "$cur"))
        ;;
    esac
}

complete -F _quorlane quorlane
