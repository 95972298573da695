#!/usr/bin/env python3
"""The bytes the program writes, pinned: every corpus song copied, converted
both ways and repaired by verselane-cli, each output's SHA-256 compared with
the table in tests/data/pinned_outputs.tsv.

  pinned_outputs.py --cli PATH [--corpus DIR] [--table FILE] [--update]

A row is: the song's path in the corpus, the command, its exit status and the
output's digest ("-" when nothing was written). --update writes the table
anew; do that only for a change of output that was meant, and say so in the
commit. Without the corpus the test is skipped (exit 77), except under
CI=true, where that is a failure.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile

SONG_EXTENSIONS = (".mid", ".midi", ".kar", ".rmi")

# Each command with the arguments that follow its input; OUT is the output.
COMMANDS = [
    ("copy", ["copy", "IN", "OUT", "--salvage"]),
    ("to-karaoke", ["to-karaoke", "IN", "-o", "OUT", "--salvage"]),
    ("to-karaoke --drop-lyrics", ["to-karaoke", "IN", "-o", "OUT", "--salvage", "--drop-lyrics"]),
    ("to-lyrics", ["to-lyrics", "IN", "-o", "OUT", "--salvage"]),
    ("to-lyrics --replace", ["to-lyrics", "IN", "-o", "OUT", "--salvage", "--replace"]),
    ("fix", ["fix", "IN", "-o", "OUT", "--salvage"]),
]


def corpus_folder(given):
    if given:
        return given
    if os.environ.get("VERSELANE_CORPUS"):
        return os.environ["VERSELANE_CORPUS"]
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.join(here, "..", "..", "shared", "corpus")


def songs(corpus):
    found = []
    for base, dirs, files in os.walk(corpus):
        dirs.sort()
        for name in sorted(files):
            if name.lower().endswith(SONG_EXTENSIONS):
                found.append(os.path.relpath(os.path.join(base, name), corpus))
    return found


def run(cli, song, arguments, scratch):
    out = os.path.join(scratch, "out" + os.path.splitext(song)[1])
    if os.path.exists(out):
        os.unlink(out)
    argv = [cli] + [song if a == "IN" else out if a == "OUT" else a for a in arguments]
    status = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    digest = "-"
    if os.path.exists(out):
        with open(out, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
    return status, digest


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--corpus")
    parser.add_argument("--table", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                        "data", "pinned_outputs.tsv"))
    parser.add_argument("--update", action="store_true")
    args = parser.parse_args()

    corpus = corpus_folder(args.corpus)
    if not os.path.isfile(os.path.join(corpus, "INDEX.tsv")):
        print("pinned outputs: no corpus at %s (set VERSELANE_CORPUS)" % corpus)
        return 1 if os.environ.get("CI") == "true" else 77

    rows = []
    with tempfile.TemporaryDirectory() as scratch:
        for song in songs(corpus):
            for name, arguments in COMMANDS:
                status, digest = run(args.cli, os.path.join(corpus, song), arguments, scratch)
                rows.append("%s\t%s\t%d\t%s" % (song, name, status, digest))

    if args.update:
        with open(args.table, "w") as f:
            f.write("song\tcommand\tstatus\tsha256\n")
            f.write("\n".join(rows) + "\n")
        print("pinned outputs: %d rows written to %s" % (len(rows), args.table))
        return 0

    with open(args.table) as f:
        pinned = [line.rstrip("\n") for line in f][1:]
    pinned_by_key = {tuple(r.split("\t")[:2]): r for r in pinned}
    now_by_key = {tuple(r.split("\t")[:2]): r for r in rows}
    differences = []
    for key in sorted(set(pinned_by_key) | set(now_by_key)):
        before, now = pinned_by_key.get(key), now_by_key.get(key)
        if before != now:
            differences.append("  %s %s\n    pinned: %s\n    now:    %s" % (key[0], key[1], before, now))
    if differences:
        print("pinned outputs: %d of %d outputs differ from the pinned bytes:" % (len(differences), len(rows)))
        print("\n".join(differences))
        return 1
    print("pinned outputs: %d outputs, all byte-identical to the pinned ones" % len(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
