"""Writes CPython's view of every code point: general category and str.lower().

One line per code point: hex code point, category, and the lower-case form
as hex code points when it differs from the character itself. The first line
names the Unicode version of the interpreter's unicodedata.
"""
import sys
import unicodedata


def main(path):
    with open(path, "w", encoding="ascii") as out:
        out.write(f"version {unicodedata.unidata_version}\n")
        for cp in range(0x110000):
            ch = chr(cp)
            line = f"{cp:x} {unicodedata.category(ch)}"
            lower = ch.lower()
            if lower != ch:
                line += " " + " ".join(f"{ord(c):x}" for c in lower)
            out.write(line + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
