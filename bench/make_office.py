#!/usr/bin/env python3
"""Generates what the office compare benchmark compares, the same every time, in OUT:

older.docx, newer.docx    a 200-page Word document (8,000 paragraphs of Japanese and Latin text, a
                          table every five pages, with the run properties and revision ids Word
                          writes); newer has 1 % of the paragraphs rewritten, some removed and added
older.xlsx, newer.xlsx    10 sheets of 1,000 rows by 5 columns (50,000 cells: numbers, shared strings,
                          formulas with their cached values); newer has 1 % of the cells changed
"""
import argparse
import os
import random
import zipfile

R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
W = ('xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" '
     'xmlns:r="%s" xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006"' % R)
S = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="%s"' % R
WORDS_JAPANESE = ["工程表", "議事録", "予算", "確認", "資料", "会議", "変更", "担当", "日程", "報告", "見積", "契約"]
WORDS_ASCII = ["project", "budget", "review", "schedule", "report", "estimate", "meeting", "owner"]


def rels(links):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' +
            "".join(f'<Relationship Id="{i}" Type="{R}/{t}" Target="{target}"/>' for i, t, target in links) +
            "</Relationships>")


def sentence(rng: random.Random) -> str:
    words = [rng.choice(WORDS_JAPANESE if rng.random() < 0.7 else WORDS_ASCII) for _ in range(rng.randint(6, 16))]
    return "".join(w if ord(w[0]) > 0x7F else f" {w} " for w in words).strip() + "。"


def paragraph(text: str, rng: random.Random) -> str:
    rsid = f"{rng.getrandbits(32):08X}"
    runs = "".join(f'<w:r w:rsidRPr="{rsid}"><w:rPr><w:rFonts w:hint="eastAsia"/><w:sz w:val="21"/></w:rPr>'
                   f'<w:t xml:space="preserve">{part}</w:t></w:r>' for part in text.split("、"))
    return (f'<w:p w:rsidR="{rsid}" w:rsidRDefault="{rsid}" w:rsidP="{rsid}"><w:pPr><w:spacing w:line="360" '
            f'w:lineRule="auto"/><w:jc w:val="both"/></w:pPr>{runs}</w:p>')


def table(rng: random.Random) -> str:
    rows = "".join("<w:tr>" + "".join(f'<w:tc><w:tcPr><w:tcW w:w="2000" w:type="dxa"/></w:tcPr>'
                                      f"{paragraph(rng.choice(WORDS_JAPANESE) + str(rng.randint(1, 999)), rng)}</w:tc>"
                                      for _ in range(4)) + "</w:tr>" for _ in range(6))
    return f'<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/></w:tblPr>{rows}</w:tbl>'


def word_pair(out: str) -> None:
    rng = random.Random(38)
    blocks = []
    for page in range(200):
        blocks += [("p", sentence(rng) + "、" + sentence(rng)) for _ in range(40)]
        if page % 5 == 0:
            blocks.append(("t", rng.getrandbits(32)))
    newer = list(blocks)
    for _ in range(len(blocks) // 100):
        at = rng.randrange(len(newer))
        roll = rng.random()
        if roll < 0.6:
            newer[at] = ("p", sentence(rng))
        elif roll < 0.8:
            del newer[at]
        else:
            newer.insert(at, ("p", sentence(rng)))
    for name, version in (("older.docx", blocks), ("newer.docx", newer)):
        body = "".join(paragraph(value, random.Random(i)) if kind == "p" else table(random.Random(value))
                       for i, (kind, value) in enumerate(version))
        with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("_rels/.rels", rels([("rId1", "officeDocument", "word/document.xml")]))
            z.writestr("word/_rels/document.xml.rels", rels([]))
            z.writestr("word/document.xml", '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
                       f"<w:document {W}><w:body>{body}<w:sectPr/></w:body></w:document>")


def cell_values(rng: random.Random, strings: list) -> list:
    return [[rng.randint(1, 10**6), rng.randrange(len(strings)), round(rng.random() * 1e4, 2), None,
             rng.randrange(len(strings))] for _ in range(1000)]


def sheet_xml(rows: list) -> str:
    out = []
    for r, (a, b, c, _, e) in enumerate(rows, start=1):
        out.append(f'<row r="{r}" spans="1:5"><c r="A{r}"><v>{a}</v></c><c r="B{r}" t="s"><v>{b}</v></c>'
                   f'<c r="C{r}" s="1"><v>{c}</v></c><c r="D{r}"><f>A{r}*C{r}</f><v>{a * c:.2f}</v></c>'
                   f'<c r="E{r}" t="s"><v>{e}</v></c></row>')
    return f'<worksheet {S}><sheetData>{"".join(out)}</sheetData></worksheet>'


def excel_pair(out: str) -> None:
    rng = random.Random(50)
    strings = [rng.choice(WORDS_JAPANESE) + rng.choice(WORDS_JAPANESE) + str(i) for i in range(5000)]
    sheets = [cell_values(rng, strings) for _ in range(10)]
    newer = [[list(row) for row in rows] for rows in sheets]
    for _ in range(500): # 1 % of the 50,000 cells
        row = rng.choice(rng.choice(newer))
        column = rng.choice((0, 1, 2, 4))
        row[column] = rng.randrange(len(strings)) if column in (1, 4) else rng.randint(1, 10**6)
    for name, version in (("older.xlsx", sheets), ("newer.xlsx", newer)):
        with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("_rels/.rels", rels([("rId1", "officeDocument", "xl/workbook.xml")]))
            # The parts are numbered against the sheets' order, as after sheets were moved.
            z.writestr("xl/_rels/workbook.xml.rels", rels(
                [(f"rId{i + 1}", "worksheet", f"worksheets/sheet{10 - i}.xml") for i in range(10)] +
                [("rId20", "sharedStrings", "sharedStrings.xml")]))
            z.writestr("xl/workbook.xml", f'<workbook {S}><sheets>' + "".join(
                f'<sheet name="集計{i + 1}" sheetId="{i + 1}" r:id="rId{i + 1}"/>' for i in range(10)) +
                "</sheets></workbook>")
            z.writestr("xl/sharedStrings.xml", f'<sst {S} count="{len(strings)}" uniqueCount="{len(strings)}">' +
                       "".join(f"<si><t>{s}</t><rPh sb=\"0\" eb=\"1\"><t>ヨミ</t></rPh></si>" for s in strings) + "</sst>")
            for i, rows in enumerate(version):
                z.writestr(f"xl/worksheets/sheet{10 - i}.xml", sheet_xml(rows))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    out = parser.parse_args().out
    os.makedirs(out, exist_ok=True)
    word_pair(out)
    excel_pair(out)


if __name__ == "__main__":
    main()
