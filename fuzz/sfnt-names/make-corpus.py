#!/usr/bin/python3
"""Writes the seed corpus of the font naming-table fuzzer into corpus/ beside this file.

The fonts are drawn here from nothing (python3-fonttools), with a few glyphs each: a TrueType
font with family names in two languages and a typographic family, a CFF-based OpenType font,
and a collection of both.
"""
import os

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont
from fontTools.ttLib.ttCollection import TTCollection

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
GLYPHS = [".notdef", "A", "B"]
CMAP = {ord("A"): "A", ord("B"): "B"}


def draw_box(pen, inset):
    pen.moveTo((inset, 0))
    pen.lineTo((inset, 700))
    pen.lineTo((500 - inset, 700))
    pen.lineTo((500 - inset, 0))
    pen.closePath()


def names(family, style, typographic=None):
    table = {"familyName": family,
             "styleName": style,
             "uniqueFontIdentifier": f"Quillon seed: {family} {style}",
             "fullName": f"{family} {style}",
             "psName": f"{family}-{style}".replace(" ", "")}
    if typographic:
        table["typographicFamily"] = typographic
        table["typographicSubfamily"] = style
    return table


def finish(builder, family, style, bold, typographic=None):
    builder.setupHorizontalMetrics({name: (500, 0) for name in GLYPHS})
    builder.setupHorizontalHeader(ascent=800, descent=-200)
    builder.setupNameTable(names(family, style, typographic))
    # The family and full names in Simplified Chinese too.
    for name_id in (1, 4):
        builder.font["name"].setName(f"种子 {family}", name_id, 3, 1, 0x0804)
    builder.setupOS2(fsSelection=0x20 if bold else 0x40, usWeightClass=700 if bold else 400)
    builder.setupPost()
    builder.font["head"].macStyle = 1 if bold else 0
    # A fixed date: two runs write the same bytes.
    builder.font["head"].created = builder.font["head"].modified = 3600 * 24 * 365 * 100
    builder.font.recalcTimestamp = False
    return builder.font


def truetype(family, style, bold=False, typographic=None):
    builder = FontBuilder(1000, isTTF=True)
    builder.setupGlyphOrder(GLYPHS)
    builder.setupCharacterMap(CMAP)
    glyphs = {}
    for index, name in enumerate(GLYPHS):
        pen = TTGlyphPen(None)
        draw_box(pen, 50 + 50 * index)
        glyphs[name] = pen.glyph()
    builder.setupGlyf(glyphs)
    return finish(builder, family, style, bold, typographic)


def opentype(family, style, bold=False):
    builder = FontBuilder(1000, isTTF=False)
    builder.setupGlyphOrder(GLYPHS)
    builder.setupCharacterMap(CMAP)
    charstrings = {}
    for index, name in enumerate(GLYPHS):
        pen = T2CharStringPen(500, None)
        draw_box(pen, 50 + 50 * index)
        charstrings[name] = pen.getCharString()
    builder.setupCFF(family.replace(" ", ""), {"FullName": f"{family} {style}"}, charstrings, {})
    return finish(builder, family, style, bold)


def main():
    os.makedirs(CORPUS, exist_ok=True)
    sans = truetype("Seed Sans Light", "Regular", typographic="Seed Sans")
    serif = opentype("Seed Serif", "Bold", bold=True)
    sans.save(os.path.join(CORPUS, "truetype-two-languages.ttf"), reorderTables=False)
    serif.save(os.path.join(CORPUS, "opentype-cff-bold.otf"), reorderTables=False)
    collection = TTCollection()
    collection.fonts = [TTFont(os.path.join(CORPUS, name), recalcTimestamp=False)
                        for name in ("truetype-two-languages.ttf", "opentype-cff-bold.otf")]
    collection.save(os.path.join(CORPUS, "collection.ttc"))


if __name__ == "__main__":
    main()
