#!/bin/sh
# help2man runs this as the program: PROGRAM's own --help followed by each of its commands'
# (the names read from its "Subcommands:" list), so that the man page shows every option.
# Any other option (--version) goes to PROGRAM as it is.
program=$1
shift
[ "$1" = --help ] || exec "$program" "$@"
"$program" --help || exit
for command in $("$program" --help | sed -n '/^Subcommands:$/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'); do
  # A heading of its own (help2man wants the line after it indented), and its summary line
  # apart from its usage line.
  printf '\n%s %s:\n' "${program##*/}" "$command"
  "$program" "$command" --help | sed '1s/.*/  &\n/' || exit
done
