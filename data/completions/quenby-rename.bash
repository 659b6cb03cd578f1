# bash completion for quenby-rename
_quenby_rename()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -o|--out)
            COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --files-from)
            COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --by)
            COMPREPLY=($(compgen -W 'content metadata' -- "$cur")); return ;;
        --tags)
            COMPREPLY=($(compgen -W 'ignore consider' -- "$cur")); return ;;
        --method)
            COMPREPLY=($(compgen -W 'first positions after before' -- "$cur")); return ;;
        --read)
            COMPREPLY=($(compgen -W 'lines html' -- "$cur")); return ;;
        -n|--words|--positions|--search|--pattern|--ext|--max-length)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-o --out --files-from -0 --null --by --tags --include-head
            --method -n --words --positions --search --pattern --read --shorten --max-length
            --windows-safe --ext --dry-run --json
            --progress --no-progress --undo --undo= --list-runs -h --help -V --version' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _quenby_rename quenby-rename
