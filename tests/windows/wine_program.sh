#!/usr/bin/env bash
# Runs a Windows program under Wine the way the end-to-end scripts run a Linux
# one: the home directory they give in $HOME becomes the program's home
# directory. Wine sets HOMEDRIVE and HOMEPATH for every process from its own
# profile, so they are set inside the command interpreter that starts the
# program. The Linux root is Wine's drive Z:.
#
#   wine_program.sh PROGRAM.exe [ARGS...]
set -euo pipefail
winpath() { printf 'Z:%s' "${1//\//\\}"; }
program=$(winpath "$(realpath "$1")")
shift
line=""
for arg in "$@"; do
  case $arg in
    *[[:space:]\"\&\|\<\>^%]*) echo "wine_program.sh: cannot pass '$arg' through the command interpreter" >&2; exit 2 ;;
  esac
  line+=" $arg"
done
home=""
if [[ -n ${HOME:-} ]]; then
  home="set HOMEDRIVE=Z:&& set HOMEPATH=${HOME//\//\\}&& "
fi
# No quotes: Wine would hand them to the interpreter escaped.
exec wine cmd /c "${home}${program}${line}" </dev/null
