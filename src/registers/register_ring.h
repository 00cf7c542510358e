#pragma once

#include <QString>
#include <QStringList>

namespace tarvex {

// One register: a ring of full paths in slots 0 … max_index + 1. The last slot is a spare that a
// registration never writes and that stays "". `last` is the newest slot (−1 while empty), `full`
// is set once a registration has wrapped from max_index back to slot 0, `cur` is the entry on
// display, and `last_before` / `full_before` are the copies a single registration takes so that a
// failed display can be undone.
struct Register {
  QStringList paths;
  int last = -1;
  bool full = false;
  int cur = 0;
  int last_before = 0;
  bool full_before = false;
  QString path_before;  // the entry the last registration with copies overwrote
  int max_index = 0;

  // Empties the register and sizes it for `max_index` (slots 0 … max_index + 1).
  void reset(int new_max_index);

  // The highest listed index: max_index while wrapped, else the newest slot.
  int top_index() const { return full ? max_index : last; }
  // A register counts as empty while slot 0 holds "".
  bool empty() const { return paths.isEmpty() || paths.front().isEmpty(); }
  // The path in slot `i`, "" for an index outside the slots.
  QString path(int i) const { return i >= 0 && i < paths.size() ? paths[i] : QString(); }

  // The registration step: take the undo copies when asked, advance the newest slot (wrapping
  // after max_index) and store the path there, overwriting what the slot held.
  void register_path(const QString& path, bool keep_copies);

  // Puts the register back exactly as it was before the last registration that kept copies:
  // newest slot, wrap flag and the entry that registration overwrote.
  void undo_registration();

  // The list box lines of entries 0 … top_index.
  QStringList list_lines() const;
};

// The number text of an entry: "000" … "099", then the three digits alone up to max_index;
// "" for a negative number or one above 99 and above max_index.
QString Re_Number(int org_number, int max_index);

// The file name of a path: the text after its last separator, "" when there is none.
QString ファイル名抽出(const QString& path);

// The number box's form of an index: the last three characters of two spaces and the digits.
QString display_number(int index);

// The count label's form: "/" and the highest listed index.
QString count_text(int top_index);

}  // namespace tarvex
