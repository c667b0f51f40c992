"""Each manual page lists exactly the options its program's usage text does, and renders
without warnings.

man_options.py MAN_DIR NAME=COMMAND... : COMMAND prints the program's usage (its --help, or
its run without arguments); an empty COMMAND means the program takes no options.
"""
import re
import shlex
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z0-9-]*)")


def page_options(text):
    """Options named in the page's option lists: the first line after each .TP or .TQ."""
    found = set()
    lines = text.splitlines()
    for i, line in enumerate(lines[:-1]):
        if line.startswith((".TP", ".TQ")) and lines[i + 1].startswith(".B"):
            item = lines[i + 1].replace("\\-", "-")
            found.update(o for o in OPTION.findall(item))
    return found


def usage_options(command):
    if not command:
        return set()
    run = subprocess.run(shlex.split(command), capture_output=True, text=True, timeout=30)
    return set(OPTION.findall(run.stdout + run.stderr))


man_dir = sys.argv[1]
problems = []
for spec in sys.argv[2:]:
    name, _, command = spec.partition("=")
    path = "%s/%s.1" % (man_dir, name)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    listed, usage = page_options(text), usage_options(command)
    if listed != usage:
        problems.append("%s: the page lists %s, the usage %s; missing %s, extra %s" % (
            name, sorted(listed), sorted(usage), sorted(usage - listed), sorted(listed - usage)))
    if "\\-" not in text and usage:
        problems.append("%s: options written without \\- (a hyphen, not a minus sign)" % name)
    render = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", path],
                            capture_output=True, text=True)
    if render.returncode != 0 or render.stderr:
        problems.append("%s: groff: %s" % (name, render.stderr.strip()))
print("\n".join(problems) or "%d pages agree with their programs" % (len(sys.argv) - 2))
sys.exit(1 if problems else 0)
