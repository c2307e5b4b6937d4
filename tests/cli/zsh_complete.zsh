# SPDX-License-Identifier: GPL-3.0-or-later
# zsh -f zsh_complete.zsh <folder of _slimkit-cli> <folder of slimkit-cli> <command line>
# The matches zsh's own completion offers at the end of the command line, one a line: an
# interactive zsh in a pseudo-terminal is handed the line and a Tab, and each match that the
# completion functions add is printed as they add it.
zmodload zsh/zpty || exit 2
zpty z zsh -f -i
zpty -w z "PROMPT='' RPROMPT=''; fpath=(${(q)1} \$fpath); path=(${(q)2} \$path)"
zpty -w z 'autoload -Uz compinit && compinit -u -D && bindkey "^I" complete-word'
# The markers are written split, so that the echo of these lines never looks like a match.
zpty -w z 'compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return; fi
  local -a hits; builtin compadd -A hits "$@"; local hit
  for hit in $hits; do print -r -- "<ma""tch>$hit"; done
}'
zpty -w z 'ended() { print -r -- "<do""ne>"; exit }; comppostfuncs=(ended)'
zpty -w -n z "$3"$'\t'
# Until the completion has ended, or a minute has passed.
integer deadline=$((SECONDS + 60))
while (( SECONDS < deadline )); do
  if ! zpty -rt z line; then
    sleep 0.05
    continue
  fi
  [[ $line == *"<done>"* ]] && break
  [[ $line == *"<match>"* ]] && print -r -- "${${line#*<match>}%%$'\r'*}"
done
zpty -d z
(( SECONDS < deadline ))
