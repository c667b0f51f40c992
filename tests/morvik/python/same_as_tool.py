"""The Python package answers as morvik-classify does, line by line, on the development texts,
and installs with pip from its folder without the network.

same_as_tool.py SOURCE_DIR BUILD_DIR WORK_DIR
"""
import os
import pathlib
import shutil
import subprocess
import sys

source, build, work = (pathlib.Path(a) for a in sys.argv[1:4])
tool = build / "tools/morvik/morvik-classify"
config = build / "data/lid.cfg"
os.environ["MORVIK_LIBRARY"] = str(build / "morvik/api/libmorvik.so.1")
os.environ["MORVIK_CONFIG"] = str(config)

shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
# Installed the way a user installs it; setuptools comes from the system, not the network. From
# a copy: setuptools writes its build folders beside the sources.
shutil.copytree(source / "morvik/python", work / "src",
                ignore=shutil.ignore_patterns("build", "*.egg-info"))
pip = subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-index",
                      "--no-build-isolation", "--target", str(work / "site"), str(work / "src")],
                     capture_output=True, text=True)
if pip.returncode != 0:
    sys.exit("pip install failed:\n" + pip.stdout + pip.stderr)
sys.path.insert(0, str(work / "site"))
import morvik  # noqa: E402

assert pathlib.Path(morvik.__file__).is_relative_to(work / "site"), morvik.__file__

failures = 0
files = sorted((source / "morvik/data/dev").rglob("*.txt"))
for path in files:
    data = path.read_bytes()
    expected = subprocess.run([str(tool), "--lines", str(config)], input=data,
                              capture_output=True, check=True).stdout.decode().splitlines()
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    assert len(lines) == len(expected), path
    for line, want in zip(lines, expected):
        line = line.rstrip(b"\r")
        try:
            text = line.decode("cp1252")  # as a Python user holds it: a str
        except UnicodeDecodeError:
            text = line
        code, score = morvik.classify(text)
        got = "%s %.4f" % (code or "??", score)
        if got != want:
            failures += 1
            if failures <= 5:
                print("%s: %r: %s, morvik-classify %s"
                      % (path.relative_to(source), line[:60], got, want))

# Text the six languages cannot hold, or that a C string cannot: an answer, never an exception.
for odd in ["", "\0", "na\0ïef", "\udc80", "漢字 ĳ ł € \U0001F600", "x" * 100000, b"\xff\x81"]:
    code, score = morvik.classify(odd)
    assert code is None or code in morvik.LANGUAGES, (odd, code)
    assert set(morvik.scores(odd)) == set(morvik.LANGUAGES)
# A NUL is a blank, not the text's end; a letter the code page lacks keeps its base letter.
for given, same_as in [("Het huis\0is groot en oud", "Het huis is groot en oud"),
                       ("Ĉu la ŝipo ĝis", "Cu la sipo gis")]:
    assert morvik.scores(given) == morvik.scores(same_as), (given, same_as)
# The version is the one of debian/changelog, where all versions come from.
with open(source / "debian/changelog") as f:
    changelog_version = f.readline().split("(")[1].split(")")[0]
with open(source / "morvik/python/pyproject.toml") as f:
    versions = [line.split('"')[1] for line in f if line.startswith("version = ")]
if versions != [changelog_version]:
    failures += 1
    print("pyproject.toml's version %s is not debian/changelog's %s"
          % (versions, changelog_version))
print("%d files, %d differences" % (len(files), failures))
sys.exit(1 if failures else 0)
