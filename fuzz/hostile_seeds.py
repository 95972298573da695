#!/usr/bin/env python3
"""Small Standard MIDI Files of every hostile class the reader and writer
must take: invalid headers and events (mended or left out as damage), valid
files at the edges of the format (read and written back), and chunk lengths
beyond any file. Seeds for scripts/fuzz and scripts/fuzz-differential.

  fuzz/hostile_seeds.py FOLDER    # writes each as FOLDER/hostile-NAME.mid
"""
import os
import sys


def chunk(kind, body, length=None):
    return kind + (len(body) if length is None else length).to_bytes(4, "big") + body


def header(fmt, tracks, division):
    return chunk(b"MThd", fmt.to_bytes(2, "big") + tracks.to_bytes(2, "big") +
                 division.to_bytes(2, "big"))


def song(fmt, division, *tracks, announced=None):
    count = len(tracks) if announced is None else announced
    return header(fmt, count, division) + b"".join(chunk(b"MTrk", t) for t in tracks)


NAME = b"\x00\xff\x03\x04Song"
NOTES = b"\x00\x90\x3c\x64\x60\x80\x3c\x00"
LYRIC = b"\x00\xff\x05\x03La\r"
END = b"\x00\xff\x2f\x00"
TRACK = NAME + LYRIC + NOTES + END


def hostile_seeds():
    """(name, bytes) of every class."""
    far = b"\x00\xff\x51\x03\xff\xff\xff" + LYRIC + b"\xff\xff\xff\x7f\xff\x01\x00" * 8 + \
        b"\x00\xff\x05\x02Lo" + END
    return [
        # Invalid: mended (format, division) or left out (events) as damage.
        ("format-7", song(7, 96, TRACK)),
        ("format-0-two-tracks", song(0, 96, TRACK, NOTES + END)),
        ("division-0", song(1, 0, TRACK)),
        ("smpte-no-frame-rate", song(1, 0x8028, TRACK)),
        ("undefined-status", song(1, 96, NAME + b"\x00\xf4\x00\xf5\x05\xf9\x00\xfd" + NOTES + END)),
        ("sysex-high-byte", song(1, 96, b"\x00\xf0\x03\x7e\x90\xf7\x00\xf0\x02\x7e\xf7" + TRACK)),
        ("end-of-track-first", song(1, 96, END + LYRIC + NOTES)),
        ("end-of-track-twice", song(1, 96, TRACK + END)),
        # Valid at the edges of the format.
        ("smpte-25x40", song(0, 0xE728, TRACK)),
        ("smpte-29.97x80", song(1, 0xE350, TRACK, NOTES + END)),
        ("tempo-1-microsecond", song(0, 96, b"\x00\xff\x51\x03\x00\x00\x01" + TRACK)),
        ("time-signature-2^15", song(0, 96, b"\x00\xff\x58\x04\x04\x0f\x18\x08" + TRACK)),
        ("time-signature-2^200", song(0, 96, b"\x00\xff\x58\x04\x04\xc8\x18\x08" + TRACK)),
        ("lyric-2^31-ticks-in", song(0, 1, far)),
        # Counts and lengths the file does not bear out.
        ("65535-tracks-announced", song(1, 96, TRACK, announced=65535)),
        ("length-0x80000000", header(1, 2, 96) + chunk(b"MTrk", TRACK) +
         chunk(b"MTrk", TRACK, 0x80000000)),
        ("length-0x7fffffff", header(1, 2, 96) + chunk(b"MTrk", TRACK) +
         chunk(b"MTrk", TRACK, 0x7FFFFFFF)),
        ("length-0xffffffff", header(0, 1, 96) + chunk(b"MTrk", TRACK, 0xFFFFFFFF)),
        ("junk-after-tracks", song(1, 96, TRACK, NOTES + END, announced=4) +
         b'<assembly name="junk" buildType="release"/>'),
        ("empty", b""),
    ]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, data in hostile_seeds():
        with open(os.path.join(sys.argv[1], f"hostile-{name}.mid"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
