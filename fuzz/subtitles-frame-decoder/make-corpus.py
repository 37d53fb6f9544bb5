#!/usr/bin/env python3
"""Writes the seed corpus of the subtitle frame decoder fuzzer into corpus/ beside this file.

Each seed follows the input layout described at the top of SubtitlesFrameDecoderFuzzer.cpp.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

SUBRIP, ASS, ASS_PLAIN, WEBVTT, MOV_TEXT, ASS_OWN_HEADER = range(6)
NO_PTS, FLUSH, SET_ENCODING, DRAIN = 1, 2, 4, 8


def packet(data, duration=1000, step=5, control=0, encoding=0):
    if isinstance(data, str):
        data = data.encode("utf-8")
    control |= (encoding & 7) << 4
    return struct.pack("<HHbB", len(data), duration, step, control) + data


def seed(codec, encoding, *packets, header=None):
    body = bytes([codec, encoding])
    if header is not None:
        header = header.encode("utf-8")
        body += struct.pack("<H", len(header)) + header
    return body + b"".join(packets)


def mov_text(text, boxes=b""):
    data = text.encode("utf-8")
    return struct.pack(">H", len(data)) + data + boxes


def styl_box(start, end, flags=1, size=18, colour=0xFF0000FF):
    record = struct.pack(">HHHBBBI", start, end, 1, flags, size, 0, colour)
    payload = struct.pack(">H", 1) + record
    return struct.pack(">I", 8 + len(payload)) + b"styl" + payload


ASS_HEADER = (
    "[Script Info]\nScriptType: v4.00+\nPlayResX: 1920\nPlayResY: 1080\n\n"
    "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
    "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
    "Style: Default,Arial,54,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,"
    "1,2,2,2,10,10,10,1\n"
    "Style: Sign,DejaVu Sans,40,&H0000FFFF,&H000000FF,&H00202020,&H80000000,-1,0,0,0,100,100,"
    "0,0,3,4,0,8,10,10,10,1\n\n"
    "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
)

SEEDS = {
    "srt-plain": seed(SUBRIP, 0, packet("First cue, plain text."),
                      packet("<i>Overlapping</i> cue on\n<b>two lines</b>", step=6)),
    "srt-font-tags": seed(SUBRIP, 0,
                          packet('<font color="#ffff00" size="30" face="Serif">Yellow</font> '
                                 "– ümlauts, 日本語"),
                          packet("{\\an8}<u>top</u> & <s>struck</s>", control=FLUSH)),
    "srt-windows-1252": seed(SUBRIP, 2, packet(b"caf\xe9 na\xefve"),
                             packet(b"\x93quoted\x94", control=SET_ENCODING, encoding=3)),
    "srt-shift-jis": seed(SUBRIP, 4, packet("日本語の字幕".encode("shift_jis"))),
    "srt-utf16": seed(SUBRIP, 5, packet("wide text".encode("utf-16-le"))),
    "srt-untimed-and-drain": seed(SUBRIP, 0, packet("no time", control=NO_PTS),
                                  packet("after drain", control=DRAIN, step=-3)),
    "ass-events": seed(ASS, 0,
                       packet("0,0,Default,,0,0,0,,{\\b1}Bold{\\b0} and {\\i1}italic{\\i0}"
                              "\\Nsecond line"),
                       packet("1,0,Box,Narrator,0,0,0,,{\\c&H0000FF&}red{\\r} back, "
                              "{\\alpha&H80&}half alpha", step=3),
                       packet("2,0,Default,,0,0,0,,{\\fnDejaVu Serif\\fs28}Serif 28{\\r}"
                              "\\hnon\\hbreaking", step=4),
                       packet("3,1,Missing,,5,6,7,,{\\bord4\\shad3\\3c&H00FF00&\\4a&H40&}"
                              "border{\\rBox} then Box", step=2)),
    "ass-unclosed-override": seed(ASS, 0, packet("0,0,Default,,0,0,0,,{\\b1 never closed")),
    "ass-plain": seed(ASS_PLAIN, 0,
                      packet("0,0,Default,,0,0,0,,{\\i1}Hello{\\i0}\\Nworld"),
                      packet("short,event"), packet("")),
    "ass-own-header": seed(ASS_OWN_HEADER, 0,
                           packet("0,0,Sign,,0,0,0,,{\\an5\\u1\\s1}Sign text"),
                           packet("1,0,Default,,0,0,0,,{\\r Sign}x{\\fs0\\fn}y"),
                           header=ASS_HEADER),
    "webvtt-tags": seed(WEBVTT, 0, packet("<b>Bold</b> and <i>italic</i>"),
                        packet("<v Narrator>Overlapping voice cue</v>\nsecond line", step=6),
                        packet("<c.yellow>Yellow class</c> &amp; &lt;entities&gt; – 日本語",
                               step=12)),
    "webvtt-timestamps": seed(WEBVTT, 1, packet("karaoke <00:00:01.000>one <00:00:02.000>two"),
                              packet("<ruby>漢<rt>kan</rt></ruby>", control=FLUSH)),
    "mov-text": seed(MOV_TEXT, 0, packet(mov_text("First cue")),
                     packet(mov_text("Styled cue", styl_box(0, 6)), step=6),
                     packet(b"\x00\x00", step=4)),
}


def main():
    os.makedirs(CORPUS, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(CORPUS, name), "wb") as out:
            out.write(data)
    print(f"wrote {len(SEEDS)} seeds to {CORPUS}")


if __name__ == "__main__":
    main()
