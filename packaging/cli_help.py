#!/usr/bin/env python3
"""cli_help.py completion|manpage KESTRIN-CLI OUTPUT: writes kestrin-cli's
bash completion or its manual page from what the program itself says: its
commands and each command's options from --complete-words, each command's
text and the options' values from that command's --help, so both follow the
option tables the parser and the help read."""
import re
import subprocess
import sys

# An option with its value: "--file X.hex", "--baud 38400|115200", "--data-dir <DIR>".
VALUED = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*)[ =]([^\s\[\]]+)")
FILE_HINT = re.compile(r"FILE|PATH|DIR|\.[a-z]{2,4}\b")


def run(cli, *args):
    r = subprocess.run([cli, *args], capture_output=True, text=True, timeout=30)
    return r.returncode, r.stdout


def choices(value):
    value = value.rstrip(".,;:")
    if "|" not in value:
        return None
    parts = value.split("|")
    if all(re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9.-]*", p) for p in parts):
        return parts
    return None


def words_of(cli, *command):
    """The commands, or a command's options, one a line from --complete-words."""
    status, text = run(cli, "--complete-words", *command)
    if status != 0:
        sys.exit("cli_help: %s --complete-words failed" % cli)
    return text.split()


def commands_of(cli):
    """The general help and, per command, its --help text."""
    status, general = run(cli, "--help")
    if status != 0 or not general:
        sys.exit("cli_help: %s --help failed" % cli)
    helps = {}
    for word in words_of(cli):
        status, text = run(cli, word, "--help")
        if status != 0 or not text:
            sys.exit("cli_help: %s %s --help failed" % (cli, word))
        helps[word] = text
    if "convert" not in helps:
        sys.exit("cli_help: no commands found in %s --complete-words" % cli)
    return general, helps


def completion(cli, output):
    general, helps = commands_of(cli)
    commands = {}   # name -> (options, positional choices)
    values = {}     # option -> list of choices, "file", "dir" or "" (a value to type)
    for word, text in helps.items():
        lines = text.splitlines()
        options = sorted(set(words_of(cli, word)))
        positional = []
        for token in lines[0].split():
            parts = choices(token)
            if parts and not token.startswith("-"):
                positional += parts
        # A value belongs to an option where the help writes one (placeholders
        # are capitalised, numbers or choice lists, never prose).
        for opt, value in VALUED.findall(text):
            if not (re.match(r"[A-Z0-9<]", value) or "|" in value):
                continue
            parts = choices(value)
            if parts:
                kind = parts
            elif "DIR" in value:
                kind = "dir"
            elif FILE_HINT.search(value):
                kind = "file"
            else:
                kind = ""
            old = values.get(opt)
            if old is None or (old == "" and kind != ""):
                values[opt] = kind
        commands[word] = (options, positional)
    if not values:
        sys.exit("cli_help: no options found in %s's help" % cli)

    out = []
    out.append("# bash completion for kestrin-cli: its commands, each command's options")
    out.append("# and their values, as the program's --help gives them.")
    out.append("_kestrin_cli() {")
    out.append("  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} cmd= i words")
    out.append("  case $prev in")
    for opt in sorted(values):
        kind = values[opt]
        if isinstance(kind, list):
            action = 'COMPREPLY=($(compgen -W "%s" -- "$cur"))' % " ".join(kind)
        elif kind == "file":
            action = 'compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur"))'
        elif kind == "dir":
            action = 'compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur"))'
        else:
            action = "COMPREPLY=()"
        out.append("    %s) %s; return ;;" % (opt, action))
    out.append("  esac")
    out.append("  for ((i = 1; i < COMP_CWORD; i++)); do")
    out.append("    case ${COMP_WORDS[i]} in")
    out.append("      %s) cmd=${COMP_WORDS[i]}; break ;;" % "|".join(sorted(commands)))
    out.append("    esac")
    out.append("  done")
    out.append("  case $cmd in")
    out.append('    "") words="%s --help --version" ;;' % " ".join(sorted(commands)))
    for name in sorted(commands):
        options, positional = commands[name]
        out.append('    %s) words="%s" ;;' % (name, " ".join(positional + options)))
    out.append("  esac")
    out.append('  COMPREPLY=($(compgen -W "$words" -- "$cur"))')
    out.append("}")
    out.append("complete -F _kestrin_cli kestrin-cli")
    with open(output, "w") as f:
        f.write("\n".join(out) + "\n")


def roff(line):
    line = line.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + line if line.startswith((".", "'")) else line


def manpage(cli, output):
    general, helps = commands_of(cli)
    status, version = run(cli, "--version")
    version = version.strip()
    # What every command's help ends with (the options every command takes,
    # exit status) is said once.
    texts = [helps[name].rstrip("\n").splitlines() for name in helps]
    common = 0
    while all(len(t) > common + 1 for t in texts) and len({tuple(t[-common - 1:]) for t in texts}) == 1:
        common += 1
    out = ['.TH KESTRIN-CLI 1 "" "%s" "User Commands"' % version,
           ".SH NAME",
           "kestrin\\-cli \\- run VRX device programmer operations from the command line",
           ".SH SYNOPSIS",
           ".B kestrin\\-cli",
           ".I COMMAND",
           "[\\fIoptions\\fR]",
           ".SH DESCRIPTION",
           "Runs the operations of VRX production device programmers without windows, for",
           "scripts and for diagnosing a line. Every command takes",
           ".BR \\-\\-help .",
           ".SH COMMANDS"]
    for name in helps:
        lines = helps[name].rstrip("\n").splitlines()
        lines = lines[:len(lines) - common] if common else lines
        out += [".SS %s" % roff(name), ".nf"] + [roff(l) for l in lines] + [".fi"]
    if common:
        out += [".SH \"COMMON OPTIONS\"", ".nf"] + [roff(l) for l in texts[0][-common:]] + [".fi"]
    out += [".SH \"SEE ALSO\"", ".BR kestrin (1),", ".BR kestrin\\-dde (1),", ".BR vrx\\-sim (1)"]
    with open(output, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    modes = {"completion": completion, "manpage": manpage}
    if len(sys.argv) != 4 or sys.argv[1] not in modes:
        sys.exit("usage: cli_help.py completion|manpage KESTRIN-CLI OUTPUT")
    modes[sys.argv[1]](sys.argv[2], sys.argv[3])
