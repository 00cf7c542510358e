#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>

namespace tarvex {

struct RtfCharFormat {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int half_points = 24;  // \fs: font size in half points
  int color = 0;         // \cf: index into the colour table; 0 is the automatic colour
  friend bool operator==(const RtfCharFormat&, const RtfCharFormat&) = default;
};

struct RtfRun {
  QString text;  // line breaks are "\n", tabs "\t"
  RtfCharFormat format;
};

struct RtfDocument {
  QList<QColor> colors;  // \colortbl; entry 0 of a table that starts with ";" is invalid (auto)
  QList<RtfRun> runs;

  QString plain_text() const;
};

// True when the bytes start like a rich-text file ("{\rtf").
bool looks_like_rtf(const QByteArray& bytes);

// Reads rich text: groups with a state stack, the document's code page (\ansicpg) and the fonts'
// character sets (128 is code page 932), the associated fonts of \loch, \hich and \dbch
// characters (\af), \'hh bytes decoded as multi-byte pairs in the current code page (a pair
// split by a group boundary included), \uN with \ucN skipping, paragraph and line breaks, tabs,
// table cells (separated by tabs, rows ended by line breaks), hidden text (\v, not shown), bold,
// italic, underline, strike, size and colour. Font and colour tables are read; the stylesheet,
// document information, pictures, objects, headers, footers, the plain fallback of nested
// tables and every \* destination but a nested row's end are skipped. Malformed input
// (unbalanced braces, deep nesting, huge numbers, truncated escapes) gives whatever text could be
// read, never a crash or a hang.
RtfDocument read_rtf(const QByteArray& bytes);

}  // namespace tarvex
