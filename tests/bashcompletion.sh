#!/usr/bin/env bash
# bashcompletion.sh [EMULATOR] RADIOCONF_CLI: the bash completion the tool writes offers
# a command, an option and a field's values, as bash would ask for them.
set -u
source <("$@" --completion bash) || exit 1
failed=0
# expect "WORDS TYPED" "REPLY": the completions of the last word, sorted.
expect() {
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _radioconf_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [ "${got% }" != "$2" ]; then
        echo "\"$1\": got \"${got% }\", want \"$2\""
        failed=1
    fi
}
expect "radioconf-cli pro" "provision"
expect "radioconf-cli write --pa" "--parity"
expect "radioconf-cli provision --o" "--only-listed"
expect "radioconf-cli write --rate " "0.81K 1.46K 18.23K 2.6K 4.56K 9.11K"
expect "radioconf-cli write --power 7" "7"
expect "radioconf-cli help d" "doctor"
exit $failed
