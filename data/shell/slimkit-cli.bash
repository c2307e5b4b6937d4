# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion of slimkit-cli: commands, options, ROM zips, removal lists and app names (as
# `slimkit-cli apps --names` prints them, from the program's own folder).

_slimkit_cli_apps() {
    local typed=$1 name IFS=$'\n'
    # What was typed, without the quoting the user put around it.
    typed=${typed//\\/}
    typed=${typed#[\"\']}
    local program=${COMP_WORDS[0]/#\~/$HOME}
    for name in $("$program" apps --names 2>/dev/null); do
        [[ $name == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
    done
    return 0
}

_slimkit_cli() {
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="apps plan customize help"
    # "--app=NAME" arrives as "--app" "=" "NAME".
    if [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == = ]]; then
        cur=""
    fi
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --list | --app | --definition | --knowledge) ((i++)) ;;
        --) ;;
        -* | =) ;;
        *) command=${COMP_WORDS[i]} && break ;;
        esac
    done
    case $prev in
    --app)
        _slimkit_cli_apps "$cur"
        return
        ;;
    --list | --definition)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -X '!*.ini' -- "$cur") $(compgen -d -- "$cur"))
        return
        ;;
    --knowledge)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -X '!*.json' -- "$cur") $(compgen -d -- "$cur"))
        return
        ;;
    esac
    local options
    case $command in
    "")
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
        ;;
    help)
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
        ;;
    apps) options="--names --files --knowledge --json --help" ;;
    plan) options="--list --app --definition --allow-unsafe --knowledge --undo-zip --no-add --files --json --help --" ;;
    customize) options="--list --app --definition --allow-unsafe --knowledge --no-backup --undo-zip --no-add --quiet --json --help --" ;;
    *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command != apps ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -X '!*.zip' -- "$cur") $(compgen -d -- "$cur"))
    fi
}

complete -F _slimkit_cli slimkit-cli
