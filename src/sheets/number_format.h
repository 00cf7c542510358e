#pragma once

// Cell values as a Japanese spreadsheet program shows them: the number format codes of the
// workbook formats (.xls, .xlsx and, translated, .ods), the built-in formats of Japanese versions,
// and the date serial numbers of both date systems. One engine for every reader, so that one
// workbook saved in the three formats previews alike.

#include <QString>

namespace tarvex {

// The code of a built-in number format, as Japanese versions show it (14 is yyyy/m/d, 5 to 8 are
// yen amounts, 27 to 36 and 50 to 58 the 年/月/日 and era forms); "General" for 0 and for an id
// that has none.
QString builtin_number_format(int id);

// A number in a format code ("" or "General" for the General format). General shows at most 11
// characters, as in a standard column: 1/7 is 0.142857143, 123456789012 is 1.23457E+11. Dates
// and times take the number as a serial day count of the 1900 system (serial 60 is the 1900
// calendar's 29 February, as the program has it) or, with `date1904`, of the 1904 system; a
// serial past 9999/12/31 shows as a run of "#", and so does a negative one in the 1900 system;
// the 1904 system shows a negative one with a minus sign (-1:30). A Japanese locale tag
// ([$-411]) names months and weekdays in Japanese and shows AM/PM as 午前/午後;
// [$-ja-JP-x-gannen] shows 元年. A value that is not a finite number (a damaged file's NaN or
// infinity) shows as #NUM!. Sections with conditions ([<=-25]) show a negative number without
// its sign when the section is one that no number from zero up would take.
QString format_number(double value, const QString& code, bool date1904);

// A text value in a format code: through its text section when it has one ("@" and General
// stand for the text, literals around them stay), else the text itself.
QString format_text(const QString& text, const QString& code);

}  // namespace tarvex
