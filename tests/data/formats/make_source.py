#!/usr/bin/python3
# Writes the workbooks that LibreOffice converts (see README): source.xlsx holds the table of
# number_formats.tsv, one row per cell down the columns of A1:J20 (row i at A1 + i % 20 rows and
# i // 20 columns); german.xlsx has four sheets with umlaut names, the first one active.
import zipfile
from xml.sax.saxutils import escape, quoteattr

NS = ('xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"')
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'


def column(c):
    return chr(ord('A') + c)


def package(path, sheets, numfmts, xfs):
    """sheets: [(name, sheetData xml)]; numfmts: [(id, code)]; xfs: [numFmtId]."""
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml',
                   '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                   '<Default Extension="xml" ContentType="application/xml"/>'
                   '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
                   '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
                   + ''.join('<Override PartName="/xl/worksheets/sheet%d.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>' % (i + 1) for i in range(len(sheets)))
                   + '</Types>')
        z.writestr('_rels/.rels', '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="%sofficeDocument" Target="xl/workbook.xml"/></Relationships>' % REL)
        z.writestr('xl/workbook.xml', '<?xml version="1.0" encoding="UTF-8"?><workbook %s><bookViews><workbookView activeTab="0"/></bookViews><sheets>%s</sheets></workbook>'
                   % (NS, ''.join('<sheet name=%s sheetId="%d" r:id="rId%d"/>' % (quoteattr(n), i + 1, i + 1) for i, (n, _) in enumerate(sheets))))
        z.writestr('xl/_rels/workbook.xml.rels', '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   + ''.join('<Relationship Id="rId%d" Type="%sworksheet" Target="worksheets/sheet%d.xml"/>' % (i + 1, REL, i + 1) for i in range(len(sheets)))
                   + '<Relationship Id="rIdS" Type="%sstyles" Target="styles.xml"/></Relationships>' % REL)
        z.writestr('xl/styles.xml', '<?xml version="1.0" encoding="UTF-8"?><styleSheet %s><numFmts count="%d">%s</numFmts>'
                   '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts><fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
                   '<borders count="1"><border/></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
                   '<cellXfs count="%d">%s</cellXfs></styleSheet>'
                   % (NS, len(numfmts), ''.join('<numFmt numFmtId="%d" formatCode=%s/>' % (i, quoteattr(c)) for i, c in numfmts),
                      len(xfs), ''.join('<xf numFmtId="%d" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>' % i for i in xfs)))
        for i, (_, data) in enumerate(sheets):
            z.writestr('xl/worksheets/sheet%d.xml' % (i + 1), '<?xml version="1.0" encoding="UTF-8"?><worksheet %s><sheetData>%s</sheetData></worksheet>' % (NS, data))


def cell(ref, kind, value, style):
    if kind == 'n':
        return '<c r="%s" s="%d"><v>%s</v></c>' % (ref, style, value)
    if kind == 's':
        return '<c r="%s" s="%d" t="inlineStr"><is><t>%s</t></is></c>' % (ref, style, escape(value))
    if kind == 'b':
        return '<c r="%s" s="%d" t="b"><v>%d</v></c>' % (ref, style, value == 'TRUE')
    # An error as the cached result of a formula that makes it.
    formula = {'#DIV/0!': '1/0', '#N/A': 'NA()'}[value]
    return '<c r="%s" s="%d" t="e"><f>%s</f><v>%s</v></c>' % (ref, style, formula, escape(value))


rows = [line.rstrip('\n').split('\t') for line in open('number_formats.tsv', encoding='utf-8') if not line.startswith('#')]
numfmts, xfs, cells = [], [0], {}
for i, (kind, value, code, *_rest) in enumerate(rows):
    if code == 'General':
        style = 0
    else:
        if code.startswith('builtin:'):
            fid = int(code[8:])
        else:
            known = [f for f, c in numfmts if c == code]
            fid = known[0] if known else 164 + len(numfmts)
            if not known:
                numfmts.append((fid, code))
        if fid not in xfs:
            xfs.append(fid)
        style = xfs.index(fid)
    cells.setdefault(i % 20, []).append(cell('%s%d' % (column(i // 20), i % 20 + 1), kind, value, style))
data = ''.join('<row r="%d">%s</row>' % (r + 1, ''.join(cells[r])) for r in sorted(cells))
package('source.xlsx', [('Sheet1', data)], numfmts, xfs)

german = [('Blätt1', '<row r="1"><c r="A1" t="inlineStr"><is><t>Größe</t></is></c><c r="B1" s="1"><v>1234.5</v></c></row>'
                     '<row r="2"><c r="A2" t="inlineStr"><is><t>Übermäßig</t></is></c><c r="B2" s="2"><v>45322</v></c></row>'),
          ('ÖÄÜ', '<row r="1"><c r="A1" t="inlineStr"><is><t>zweites Blatt</t></is></c></row>'),
          ('Größe', '<row r="1"><c r="A1"><v>3</v></c></row>'),
          ('Übersicht', '<row r="1"><c r="A1"><v>4</v></c></row>')]
package('german.xlsx', german, [(164, '#,##0.00 [$€-407]'), (165, 'DD.MM.YYYY')], [0, 164, 165])
