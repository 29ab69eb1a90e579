# bash completion for rm516x-isp and rm516x-sim. Commands and options are read from the
# program's own --help when TAB is pressed, so a new command or option completes without an
# edit here; an option's values come from its "A|B" placeholder, the serial devices from
# 'rm516x-isp ports', files for PATH/FILE/OUT values and for the file arguments.

# _rm516x_options PROGRAM [COMMAND]: one line per option name, with its value placeholder
# when it takes one ("--chip MODEL", "--json").
_rm516x_options() {
  "$@" --help 2>/dev/null | awk '/^  -/ {
    sub(/^  /, "")
    value = ($0 ~ /^[^ ]+ [^ ]/) ? $2 : ""
    n = split($1, names, ",")
    for (i = 1; i <= n; i++) print names[i], value
  }'
}

_rm516x() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev='' program=${COMP_WORDS[0]/#\~/$HOME}
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  # "--chip=RM" arrives as "--chip" "=" "RM".
  if [[ $prev == = ]] && ((COMP_CWORD > 1)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $cur == = ]]; then
    cur=
  fi
  COMPREPLY=()
  local -a command=("$program")
  if [[ ${1##*/} == rm516x-isp ]]; then
    if ((COMP_CWORD == 1)); then
      local words
      if [[ $cur == -* ]]; then
        words=$(_rm516x_options "$program" | awk '{ print $1 }')
      else
        words=$("$program" --help 2>/dev/null |
          sed -n '/^Subcommands:$/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
      fi
      mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
      return
    fi
    command+=("${COMP_WORDS[1]}")
  fi

  local options value
  options=$(_rm516x_options "${command[@]}")
  [[ $prev == -* ]] && value=$(awk -v name="$prev" '$1 == name { print $2; exit }' <<<"$options")
  if [[ -n $value ]]; then
    case $prev:$value in
      --port:*)
        mapfile -t COMPREPLY < <(compgen -W "$("$program" ports 2>/dev/null |
          awk '{ print $1; if ($2 ~ /^\//) print $2 }')" -- "$cur") ;;
      --monitor:*)
        # Its RATE is optional: a file may follow.
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
      --baud:*)
        mapfile -t COMPREPLY < <(compgen -W "4800 9600 14400 19200 28800 38400 57600 115200" -- "$cur") ;;
      *'|'*)
        # "RM5164|RM5168", "[N|none]", "0|1|both:{0,1,both}": the literal choices.
        value=${value%%:*}
        value=${value//[][]/}
        mapfile -t COMPREPLY < <(compgen -W "$(tr '|' '\n' <<<"$value" | grep -v '^[A-Z]*$')" -- "$cur") ;;
      *:*PATH* | *:*FILE* | *:OUT*)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
    esac
    return
  fi
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(awk '{ print $1 }' <<<"$options")" -- "$cur")
  elif [[ ${1##*/} == rm516x-isp ]]; then
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _rm516x rm516x-isp rm516x-sim
