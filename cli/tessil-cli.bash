# bash completion for tessil-cli: commands, their options, drive letters
# where a DRIVE goes and file names where an IMAGE goes.

# The letters offered for a DRIVE: A, B and those TESSIL_DRIVE_X names.
# Drives are not queried: completing must never wait for a floppy drive.
_tessil_cli_letters() {
  local name letters=(A B)
  for name in ${!TESSIL_DRIVE_*}; do
    letters+=("${name#TESSIL_DRIVE_}")
  done
  printf '%s\n' "${letters[@]}" | sort -u
}

_tessil_cli() {
  local cur prev words cword
  _init_completion || return

  local command='' at
  for ((at = 1; at < cword; at++)); do
    case ${words[at]} in
      drives | info | read | write | verify | convert | batch | format)
        command=${words[at]}
        break
        ;;
    esac
  done
  if [[ -z $command ]]; then
    mapfile -t COMPREPLY < <(compgen -W 'drives info read write verify convert batch format --help --version' -- "$cur")
    return
  fi

  case $prev in
    -l | --label | --retries | --start | --count) return ;;  # free text, numbers
    -t | --type)
      mapfile -t COMPREPLY < <(compgen -W '160 180 320 360 720 1200 1440 1680 1722 2880' -- "$cur")
      return
      ;;
    --fill)
      mapfile -t COMPREPLY < <(compgen -W 'zero marker' -- "$cur")
      return
      ;;
    --map)
      _filedir
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    local options='--help'
    case $command in
      drives | info) options+=' --json' ;;
      read) options+=' --label --raw --tessil --force --no-report --progress --json --rescue --retries --fill --map --picture' ;;
      batch) options+=' --start --count --label --label-from-volume --raw --tessil --no-report --skip-duplicates --progress --rescue --retries --fill' ;;
      write) options+=' --yes --raw --tessil --force --format --no-verify --progress' ;;
      format) options+=' --type --fat --label --yes --progress' ;;
      verify) options+=' --progress --json' ;;
      convert) options+=' --label --raw --tessil --format --force' ;;
    esac
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return
  fi

  # Which argument of the command is being typed.
  local argument=0 i
  for ((i = at + 1; i < cword; i++)); do
    case ${words[i]} in
      -l | --label | --retries | --fill | --map | --start | --count | -t | --type) ((i++)) ;;
      --format) [[ $command == convert ]] && ((i++)) ;;
      -*) ;;
      *) ((argument++)) ;;
    esac
  done
  case $command:$argument in
    info:0)
      mapfile -t COMPREPLY < <(compgen -W "$(_tessil_cli_letters)" -- "${cur^^}")
      _filedir
      ;;
    read:0 | write:1 | verify:1 | batch:0 | format:0)
      mapfile -t COMPREPLY < <(compgen -W "$(_tessil_cli_letters)" -- "${cur^^}")
      ;;
    read:1 | write:0 | verify:0 | convert:0 | convert:1 | batch:1)
      _filedir
      ;;
  esac
} && complete -F _tessil_cli tessil-cli
