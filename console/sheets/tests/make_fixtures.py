#!/usr/bin/python3
"""Makes the real spreadsheet files the reader tests read.

Usage: make_fixtures.py [OUTDIR]

The files are kept in the repository (fixtures/ beside this script, the
default OUTDIR), so the tests need neither LibreOffice nor the Python
writers. Run it by hand (it needs libreoffice-calc-nogui, python3-xlwt and
python3-openpyxl) when a file is to change, and commit what it writes.

openpyxl.xlsx and xlwt.xls come from the Python writers, which store no
formula results; libreoffice.xlsx and libreoffice.xls are the same workbook
saved by LibreOffice, which calculates and stores them; chart.xls is that
workbook's people with a chart inside the sheet, saved by LibreOffice. The other files are
hostile: an .xls whose sheets declare 16 million cells each in a few
kilobytes, one that says it is encrypted, one whose sheet ends without its
EOF record, one with a text cell longer than its record, one with a
shared-string cell shorter than its fields, one whose root directory
entry gives a name longer than an entry, and one whose sheet declares its
size twice (a damaged workbook the reader refuses).
"""
import datetime
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import openpyxl
import openpyxl.chart
import xlwt
from xlwt import CompoundDoc

LONG_NAME = "Uzun İsim " + "Ğüşiöç" * 60  # a long shared string (370 characters)

# The first sheet, row by row: (column A, column B). A string beginning with
# "=" is a formula.
PEOPLE = [
    ("Name", "Phone"),
    ("Ayşe Çağlar", 5321234567),
    ("Ali Veli", "+90 (532) 123-45-67"),
    ("Date", datetime.date(2024, 3, 1)),
    ("Formula", "=5321234500+67"),
    (LONG_NAME, "05321234567"),
    (True, "0532 123 45 67"),
    ("Letters", "abc"),
    ('="Zeynep"&" Ş"', 5551234567),
    ("Time", datetime.time(13, 45, 10)),
    ("Fraction", 2.5),
    ("Error", "=1/0"),
]
OTHER = [("Other sheet", 5559998877)]


def people_book():
    """A workbook whose first sheet, "People", holds PEOPLE."""
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "People"
    for a, b in PEOPLE:
        sheet.append([a, b])
    return book, sheet


def write_openpyxl(path):
    book, sheet = people_book()
    for row in sheet.iter_rows():
        for cell in row:
            if isinstance(cell.value, datetime.datetime):
                cell.number_format = "dd.mm.yyyy"
    other = book.create_sheet("Other")
    for row in OTHER:
        other.append(list(row))
    book.save(path)


def write_chart_source(path):
    """The people with a bar chart of their numbers inside the first sheet."""
    book, sheet = people_book()
    chart = openpyxl.chart.BarChart()
    chart.add_data(openpyxl.chart.Reference(sheet, min_col=2, min_row=1, max_row=len(PEOPLE)))
    sheet.add_chart(chart, "D2")
    book.save(path)


def xlwt_value(value):
    if isinstance(value, str) and value.startswith("="):
        return xlwt.Formula(value[1:])
    return value


def write_xlwt(path):
    book = xlwt.Workbook(encoding="utf-8")
    date_style = xlwt.easyxf(num_format_str="DD/MM/YYYY")
    time_style = xlwt.easyxf(num_format_str="hh:mm:ss")
    for name, rows in (("People", PEOPLE), ("Other", OTHER)):
        sheet = book.add_sheet(name)
        for r, cells in enumerate(rows):
            for c, value in enumerate(cells):
                if isinstance(value, datetime.date):
                    sheet.write(r, c, value, date_style)
                elif isinstance(value, datetime.time):
                    sheet.write(r, c, value, time_style)
                else:
                    sheet.write(r, c, xlwt_value(value))
    book.save(path)


def convert(source, target_dir, filter_name, home):
    env = dict(os.environ, HOME=home)
    subprocess.run(
        ["soffice", "--headless", "--norestore", "-env:UserInstallation=file://" + home + "/profile",
         "--convert-to", filter_name, "--outdir", target_dir, source],
        check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def write_dimension_bomb(path):
    book = xlwt.Workbook()
    for i in range(8):
        sheet = book.add_sheet("S%d" % i)
        sheet.write(0, 0, "a")
        sheet.write(65535, 255, "b")
    book.save(path)


def one_sheet_stream():
    book = xlwt.Workbook()
    sheet = book.add_sheet("People")
    sheet.write(0, 0, "Ali")
    sheet.write(0, 1, "5321234567")
    return book.get_biff_data()


def write_encrypted(path):
    """A workbook with a FILEPASS record (RC4 encryption) after its BOF."""
    stream = one_sheet_stream()
    bof_end = 4 + struct.unpack("<H", stream[2:4])[0]
    filepass = struct.pack("<HHHHH", 0x002F, 54, 1, 1, 1) + bytes(48)
    CompoundDoc.XlsDoc().save(path, stream[:bof_end] + filepass + stream[bof_end:])


def write_truncated_sheet(path):
    stream = one_sheet_stream()
    assert stream.endswith(b"\x0a\x00\x00\x00")
    CompoundDoc.XlsDoc().save(path, stream[:-4] + bytes(64))


def write_long_label(path):
    """A LABEL cell that declares 200 characters and holds 3."""
    stream = one_sheet_stream()
    label = struct.pack("<HHHHHHB", 0x0204, 9 + 3, 1, 0, 15, 200, 0) + b"abc"
    CompoundDoc.XlsDoc().save(path, stream[:-4] + label + stream[-4:])


def write_short_cell(path):
    """A shared-string cell record cut to 6 of its 10 bytes."""
    stream = one_sheet_stream()
    sheet = stream.rindex(b"\x09\x08")  # the sheet's BOF
    at = stream.index(b"\xfd\x00\x0a\x00", sheet)
    cut = struct.pack("<HH", 0x00FD, 6) + stream[at + 4:at + 10]
    CompoundDoc.XlsDoc().save(path, stream[:at] + cut + stream[at + 14:])


def write_twice_dimensioned(path):
    """The sheet's DIMENSION record followed by a second, far larger one."""
    stream = one_sheet_stream()
    sheet = stream.rindex(b"\x09\x08")  # the sheet's BOF
    at = stream.index(b"\x00\x02\x0e\x00", sheet)
    second = struct.pack("<HHIIHHH", 0x0200, 14, 0, 60000, 0, 100, 0)
    CompoundDoc.XlsDoc().save(path, stream[:at + 18] + second + stream[at + 18:])


def write_bad_directory(path):
    """The root entry of the compound file claims a 65,520-byte name."""
    data = bytearray(open(os.path.join(os.path.dirname(path), "xlwt.xls"), "rb").read())
    directory = (struct.unpack("<I", data[0x30:0x34])[0] + 1) * 512
    struct.pack_into("<H", data, directory + 0x40, 0xFFF0)
    with open(path, "wb") as out:
        out.write(data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")
    os.makedirs(out, exist_ok=True)
    write_openpyxl(os.path.join(out, "openpyxl.xlsx"))
    write_xlwt(os.path.join(out, "xlwt.xls"))
    write_dimension_bomb(os.path.join(out, "dimension-bomb.xls"))
    write_encrypted(os.path.join(out, "encrypted.xls"))
    write_truncated_sheet(os.path.join(out, "truncated-sheet.xls"))
    write_long_label(os.path.join(out, "long-label.xls"))
    write_short_cell(os.path.join(out, "short-cell.xls"))
    write_bad_directory(os.path.join(out, "bad-directory.xls"))
    write_twice_dimensioned(os.path.join(out, "twice-dimensioned.xls"))
    home = tempfile.mkdtemp(prefix="talvinor-soffice-")
    try:
        work = os.path.join(home, "work")
        os.makedirs(work)
        source = os.path.join(work, "libreoffice.xlsx")
        shutil.copy(os.path.join(out, "openpyxl.xlsx"), source)
        for extension, filter_name in (("xlsx", "xlsx:Calc MS Excel 2007 XML"), ("xls", "xls:MS Excel 97")):
            target = os.path.join(home, extension)
            convert(source, target, filter_name, home)
            shutil.move(os.path.join(target, "libreoffice." + extension), os.path.join(out, "libreoffice." + extension))
        chart = os.path.join(work, "chart.xlsx")
        write_chart_source(chart)
        convert(chart, os.path.join(home, "chart"), "xls:MS Excel 97", home)
        shutil.move(os.path.join(home, "chart", "chart.xls"), os.path.join(out, "chart.xls"))
    finally:
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
