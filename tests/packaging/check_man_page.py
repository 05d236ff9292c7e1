#!/usr/bin/python3
"""Checks that a manual page and the program's --help name the same commands and options.

usage: check_man_page.py PROGRAM MAN_PAGE

Every option and command that `PROGRAM --help` lists must appear in the manual page, and every one the
page names must be in --help (the help option itself counts once the program answers it). Each mismatch
is printed on its own line, naming what to add where; the exit status is 1 when there is any.
"""
import os
import re
import subprocess
import sys

# An option: one or two dashes and a letter, not inside a word ("tab-separated", "YYYY-MM-DD").
OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z0-9-]*)")


def roff_to_text(roff):
    text = roff.replace("\\-", "-").replace("\\e", "\\")
    text = re.sub(r"\\f[BIRP]", "", text)
    return text


def man_sections(roff):
    """{section name: list of its source lines}."""
    sections, name = {}, ""
    for line in roff.splitlines():
        if line.startswith(".SH "):
            name = line[4:].strip().strip('"')
            sections[name] = []
        else:
            sections.setdefault(name, []).append(line)
    return sections


def man_commands(roff):
    """The first word of each tagged paragraph (.TP) in COMMANDS, up to its first subsection."""
    commands, lines = set(), man_sections(roff).get("COMMANDS", [])
    for i, line in enumerate(lines):
        if line.startswith(".SS"):
            break
        if line.startswith(".TP") and i + 1 < len(lines):
            tag = roff_to_text(re.sub(r"^\.(B|BR|BI|I|IR)\s+", "", lines[i + 1])).split()
            if tag:
                commands.add(tag[0])
    return commands


def help_commands(help_text):
    """The first word of every indented line after a "commands:" line."""
    commands, inside = set(), False
    for line in help_text.splitlines():
        if line.strip().lower().rstrip(":") == "commands":
            inside = True
        elif inside and line.startswith("  ") and line.strip():
            commands.add(line.split()[0])
        elif inside:
            inside = False
    return commands


def run(program, option):
    result = subprocess.run([program, option], capture_output=True, text=True,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    return result.returncode, result.stdout


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, page = sys.argv[1], sys.argv[2]
    name, page_name = os.path.basename(program), os.path.basename(page)
    status, help_text = run(program, "--help")
    if status != 0 or not help_text.strip():
        print(f"{name} --help failed (exit status {status})")
        return 1
    with open(page, encoding="utf-8") as f:
        roff = f.read()

    help_options = set(OPTION.findall(help_text))
    # The help option itself, and -h when it prints the same text.
    help_options.add("--help")
    if run(program, "-h") == (0, help_text):
        help_options.add("-h")
    page_options = set(OPTION.findall(roff_to_text(roff)))

    problems = []
    for option in sorted(help_options - page_options):
        problems.append(f"{name} --help lists option {option}, which {page_name} does not describe: "
                        f"add it to OPTIONS or to its command")
    for option in sorted(page_options - help_options):
        problems.append(f"{page_name} describes option {option}, which {name} --help does not list")
    listed, described = help_commands(help_text), man_commands(roff)
    for command in sorted(listed - described):
        problems.append(f"{name} --help lists command {command}, which {page_name} does not describe: "
                        f"add a .TP entry under .SH COMMANDS")
    for command in sorted(described - listed):
        problems.append(f"{page_name} describes command {command}, which {name} --help does not list")
    for line in problems:
        print(line)
    if not problems:
        print(f"{page_name} matches {name} --help: {len(help_options)} options, {len(listed)} commands")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
