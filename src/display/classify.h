#pragma once

#include "settings/extension_table.h"

#include <QString>

namespace tarvex {

// The last three characters of a path, lower-cased: the extension as the window knows it (there
// is no test for a dot; photo.jpeg ends in "peg").
QString extension_tail(const QString& path);

// The picture formats the settings file adds ("イメージ拡張子"): extensions without the dot, in
// lower case, of any length; empty slots are "".
using AddedImageExtensions = ExtensionTable;

// One value of the "イメージ拡張子" section as the table holds it: without blanks around it, in
// lower case and without a leading dot, so that "PNG" and ".png" serve as well as "png".
QString added_image_extension(const QString& value);

// The lower-cased path ends in "." and an entry of `added`.
bool has_added_image_extension(const QString& path, const AddedImageExtensions& added);

// An image: the tail is one of bmp, ico, wmf, jpg, cur, gif, or the path has an added image
// extension. Everything else is a text.
bool is_image_path(const QString& path, const AddedImageExtensions& added);

// An icon or a cursor: the text ends, lower-cased, in ".ico" or ".cur".
bool is_icon_or_cursor(const QString& text);

// The tail matches an entry of a spreadsheet extension table exactly (entries are three
// lower-case letters without the dot).
bool in_extension_table(const ExtensionTable& table, const QString& path);

// The path labels' three pieces, whose concatenation is the path again. The first separator at
// character position 2 or later splits (the root "/" at position 1 never does: it is the drive
// root's separator); in the rest, the first separator after its first character splits again,
// and deeper folders stay in the third piece: /home/ann/docs/a.txt gives /home, /ann and
// /docs/a.txt.
struct LabelPieces {
  QString first, second, third;
};
LabelPieces split_label_path(const QString& full_path);

}  // namespace tarvex
