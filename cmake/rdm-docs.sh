#!/usr/bin/env bash
# Writes rdm's bash completion (and, when help2man is given, its man page)
# from rdm's own --help-all, so that every command and option the command
# line defines appears in both without anyone editing them.
#
#   cmake/rdm-docs.sh RDM OUT_DIR [HELP2MAN]
set -euo pipefail
rdm="$1" out="$2" help2man="${3:-}"
mkdir -p "$out"

help="$("$rdm" --help-all)"
awk '
  function options(line,   first, n, parts, i, found) {
    split(line, first, " ")
    n = split(first[1], parts, ",")
    found = ""
    for (i = 1; i <= n; i++) if (parts[i] ~ /^-/) found = found " " parts[i]
    return found
  }
  /^Subcommands:/ { inCommands = 1; next }
  !inCommands && /^  -/ { top = top options(substr($0, 3)); next }
  inCommands && /^[a-z]/ { command = $1; commands = commands " " command; next }
  inCommands && /^  Subcommands:/ { nested = 1; next }
  inCommands && /^  [A-Z]/ { nested = 0; next }
  inCommands && nested && /^    [a-z]/ { words[command] = words[command] " " $1; next }
  inCommands && /^    -/ { words[command] = words[command] options(substr($0, 5)); next }
  END {
    print "# bash completion of rdm, generated from rdm --help-all."
    print "_rdm() {"
    print "  local cur=\"${COMP_WORDS[COMP_CWORD]}\" words"
    print "  if [ \"$COMP_CWORD\" -eq 1 ]; then"
    print "    words=\"" substr(commands, 2) top "\""
    print "  else"
    print "    case \"${COMP_WORDS[1]}\" in"
    n = split(substr(commands, 2), list, " ")
    for (i = 1; i <= n; i++) print "      " list[i] ") words=\"" substr(words[list[i]], 2) " --home\" ;;"
    print "      *) words=\"--home\" ;;"
    print "    esac"
    print "  fi"
    print "  mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")"
    print "}"
    print "complete -o default -F _rdm rdm"
  }
' <<<"$help" >"$out/rdm.bash"

if [ -n "$help2man" ]; then
  "$help2man" --no-info --help-option=--help-all --version-option=--version \
    --name="keep reference data and feed it to data flows" --output="$out/rdm.1" "$rdm"
fi
