#!/usr/bin/python3
# Prints the cells of A1:J20 of the first sheet of each workbook named on the command line, as
# python3-xlrd reads them: one JSON array per cell that is not empty,
# [file, row, column, kind, value] with kind n (number), s (text), b (truth value), e (error).
# The tests compare them with the values of our own .xls reader.
import json
import sys

import xlrd

for path in sys.argv[1:]:
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    for r in range(min(sheet.nrows, 20)):
        for c in range(min(sheet.ncols, 10)):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                kind, value = 'n', repr(float(cell.value))
            elif cell.ctype == xlrd.XL_CELL_TEXT:
                kind, value = 's', cell.value
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                kind, value = 'b', str(int(cell.value))
            else:
                kind, value = 'e', xlrd.error_text_from_code.get(cell.value, '?')
            print(json.dumps([path, r, c, kind, value]))
