# bash completion for tvkcombo: the options, installed locale names after -l
# and directories after -r. Course names belong to the course program, which
# the launcher cannot ask, so nothing is offered for them.
_tvkcombo() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    case ${COMP_WORDS[COMP_CWORD - 1]} in
    -[lL])
        mapfile -t COMPREPLY < <(compgen -W "$(locale -a 2>/dev/null)" -- "$cur")
        ;;
    -[rR])
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
    *)
        [[ $cur == -* ]] &&
            mapfile -t COMPREPLY < <(compgen -W '-a -p -d -i -v -h -u -l -r --help --version --diagnose' -- "$cur")
        ;;
    esac
}
complete -F _tvkcombo tvkcombo
