#!/usr/bin/env python3
"""Writes the office fuzz target's first inputs into the corpus folder given: a small Word, Excel
and PowerPoint document (first byte: the kind, second: unused), and an XML part with every kind of
token (first byte 3, second: the piece size less one)."""
import io
import os
import sys
import zipfile

R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def rels(links):
    return ('<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' +
            "".join('<Relationship Id="%s" Type="%s/%s" Target="%s"/>' % (i, R, t, target) for i, t, target in links) +
            "</Relationships>")


def package(parts):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts:
            z.writestr(name, data)
    return out.getvalue()


word = package([
    ("_rels/.rels", rels([("rId1", "officeDocument", "word/document.xml")])),
    ("word/_rels/document.xml.rels", rels([("rId1", "header", "header1.xml")])),
    ("word/document.xml", '<w:document xmlns:w="w"><w:body><w:p><w:r><w:t>a</w:t></w:r><w:del><w:r><w:delText>b'
     '</w:delText></w:r></w:del><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText>X</w:instrText></w:r>'
     '<w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:rPr><w:vanish/></w:rPr><w:t>c</w:t></w:r>'
     '<w:r><w:fldChar w:fldCharType="end"/></w:r></w:p><w:tbl><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl></w:body></w:document>'),
    ("word/header1.xml", "<w:hdr><w:p><w:r><w:t>h</w:t></w:r></w:p></w:hdr>")])
excel = package([
    ("_rels/.rels", rels([("rId1", "officeDocument", "xl/workbook.xml")])),
    ("xl/workbook.xml", '<workbook xmlns:r="%s"><sheets><sheet name="S" r:id="rId1"/></sheets></workbook>' % R),
    ("xl/_rels/workbook.xml.rels", rels([("rId1", "worksheet", "s.xml"), ("rId2", "sharedStrings", "t.xml")])),
    ("xl/t.xml", "<sst><si><r><t>x</t></r><rPh><t>y</t></rPh></si></sst>"),
    ("xl/s.xml", '<worksheet><sheetData><row r="2"><c r="B2" t="s"><v>0</v></c><c><v>1</v></c>'
     '<c t="inlineStr"><is><t>z</t></is></c></row></sheetData></worksheet>')])
slides = package([
    ("_rels/.rels", rels([("rId1", "officeDocument", "ppt/presentation.xml")])),
    ("ppt/presentation.xml", '<p:presentation xmlns:r="%s"><p:sldIdLst><p:sldId r:id="rId1"/></p:sldIdLst>'
     "</p:presentation>" % R),
    ("ppt/_rels/presentation.xml.rels", rels([("rId1", "slide", "slides/slide1.xml")])),
    ("ppt/slides/slide1.xml", "<p:sld><a:p><a:r><a:t>t</a:t></a:r><a:br/></a:p></p:sld>")])
xml = ('<?xml version="1.0"?><!-- c --><a x="1" y=\'&amp;&#x41;\'><b/>t&lt;&#65;<![CDATA[<x>]]>'
       '\xe8\xa1\xa8</a>').encode("latin-1")

folder = sys.argv[1]
for name, data in [("seed-word", b"\0\0" + word), ("seed-excel", b"\1\0" + excel),
                   ("seed-slides", b"\2\0" + slides), ("seed-xml", b"\3\6" + xml)]:
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
