#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into the folder given.

Seeds are small valid inputs of each format plus a few near misses, so that
the fuzzer starts from the shapes the library really reads.
"""
import os
import struct
import sys


def settings_seeds():
    yield "empty", b""
    yield "typical", (b"[General]\nVersion=2.0\n\n[Language]\nIndex=en_UK\n\n"
                      b"[ColorManagement]\nEqualPolicy=1\nMissingPolicy=0\n\n"
                      b"[Batch]\nPath\\Input=/home/user/pictures\n")
    yield "variants", (b"[General]\nVersion=@Invalid()\nList=a, b, \"c d\"\n"
                       b"Bytes=@ByteArray(\\0\\x1\\xff)\nVariant=@Variant(\\0\\0\\0\\x7f)\n"
                       b"Size=@Size(10 20)\nRect=@Rect(1 2 3 4)\n")
    yield "escapes", b"[%U4E2D]\nkey\\x20name=\"quoted \\\"value\\\"\"\n;comment\n#other\n"
    yield "broken", b"[unterminated\n=novalue\nkey=\"open quote\n\\\\\\\n"


def recent_list_seeds():
    def string(text):
        if text is None:
            return b"\xff\xff\xff\xff"
        data = text.encode("utf-16-be")
        return len(data).to_bytes(4, "big") + data

    def records(count, pairs):
        return count.to_bytes(4, "big") + b"".join(string(a) + string(b) for a, b in pairs)

    yield "empty", b""
    yield "two", records(2, [("/a.png", "PNG"), ("/b.jpg", "JPEG")])
    yield "null", records(1, [(None, "")])
    yield "twenty", records(20, [("/%d.png" % i, "PNG") for i in range(20)])
    yield "huge-count", records(0x7FFFFFFF, [("a", "b")])
    yield "odd-length", (1).to_bytes(4, "big") + (3).to_bytes(4, "big") + string("A")
    yield "long-claim", (1).to_bytes(4, "big") + b"\xff\xff\xff\xfe" + b"z" * 16


def export_list_seeds():
    yield "empty", b""
    yield "user", (b"[General]\nVersion=2.3.0\n\n[Resolutions]\n0=640x480\n1=1920 x 1080\n"
                   b"3=1x1\n\n[Sizes]\n0=1048576\n1=-5\n2=text\n")
    yield "refused", (b"[General]\nVersion=1\n[Resolutions]\n0=1920X1080\n1=0x100\n"
                      b"2=10001x5\n3=1x2x3\n[Sizes]\n0=0\n1=12.5\n")
    yield "no-version", b"[Resolutions]\n0=640x480\n[Sizes]\n0=100\n"


def preset_record(type_id, settings):
    name = type_id.encode("utf-16-be")
    return struct.pack(">I", len(name)) + name + settings


def preset_seeds():
    # Records only: the target puts the header in front of every input.
    round_brush = preset_record("Vela.RoundBrush",
                                struct.pack(">BdddIddd", 1, 20.0, 0.25, 1.0, 0xff000000,
                                            0.8, 0.0, 1.0))
    airbrush = preset_record("Vela.Airbrush",
                             struct.pack(">BdddIdd", 1, 12.0, 0.5, 0.3, 0xff0000ff, 0.2, 1.5))
    yield "empty", b""
    yield "two", round_brush + airbrush
    yield "unknown type", preset_record("No.Such", b"\0\0\0\0") + airbrush
    yield "huge length", b"\xff\xff\xff\xf0" + airbrush
    yield "other version", round_brush[:34] + b"\x02" + round_brush[35:]


HERE = os.path.dirname(os.path.abspath(__file__))


def shipped(name):
    with open(os.path.join(HERE, "..", "app", "settings", name), "rb") as f:
        return f.read()


def units_seeds():
    yield "shipped", shipped("units.ini")
    yield "empty", b""
    yield "custom", (b'<?xml version="1.0" encoding="UTF-8"?>\n<units>\n'
                     b'    <unit name="span" abbr="sp" factor="0.111"/>\n'
                     b'    <unit name="&lt;tag&gt; &amp; &quot;q&quot;" abbr="\xc3\xa9" factor="-1"/>\n'
                     b'</units>\n')
    yield "odd", (b"<units><unit name='a'/><unit factor='1e39'/><unit factor='nan'/>"
                  b"<other/><unit abbr='x' factor='0x10'>text</unit></units>")
    yield "broken", b"<units><unit name=\"a\" factor=\"1\"></units>"


def preferences_seeds():
    yield "shipped", shipped("properties.xml")
    yield "empty", b""
    yield "small", (b'<?xml version="1.0"?><properties><file_version value="1"/>'
                    b'<page name="p"><group name="g"><parameter name="n" value="v"/>'
                    b'<parameter value="no name"/></group><group/></page></properties>')
    yield "colours", (b'<properties><page name="Colors"><group name="colors">'
                      b'<parameter name="Background" value="ff102030"/>'
                      b'<parameter name="Color1" value="#12"/></group></page></properties>')
    yield "deep", b"<a>" * 70 + b"</a>" * 70


TARGETS = {
    "fuzz_settings": settings_seeds,
    "fuzz_recentlist": recent_list_seeds,
    "fuzz_exportlists": export_list_seeds,
    "fuzz_presets": preset_seeds,
    "fuzz_units": units_seeds,
    "fuzz_preferences": preferences_seeds,
}


def main():
    root = sys.argv[1]
    names = sys.argv[2:] or list(TARGETS)
    for target in names:
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in TARGETS[target]():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
