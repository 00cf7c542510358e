#include "search/find_next.h"

#include "search/text_search.h"
#include "text/text_index.h"

namespace tarvex {

qint64 find_next(const IndexedText& text, const QString& needle, qint64 from,
                 const std::atomic<bool>* stop, std::atomic<qint64>* scanned) {
  if (from < 0) return -1;
  auto stopped = [stop] { return stop && stop->load(); };
  const SearchNeedle forms(needle);
  const QString key = fold_search_text(needle);
  // The bytes after a block that an occurrence starting in it may take: at most four bytes a
  // character in any encoding the text may be in.
  const qint64 overlap = 4 * qint64(needle.size()) + 8;
  // A text read anew meanwhile (a new decision on the encoding, a file found changed) is searched
  // anew: an answer is only given from one reading of the text.
  for (;;) {
    const int generation = text.generation();
    // Waits until the index reaches the position, or the text's end.
    while (!text.complete() && text.length() < from) {
      if (!text.wait_for_block(text.block_count(), stop)) return -2;
    }
    if (text.generation() != generation) continue;
    if (from > text.length()) return -1;
    if (needle.isEmpty()) return from;
    qint64 found = -1;
    for (int i = std::max(text.block_at(from), 0);; ++i) {
      if (!text.wait_for_block(i + 1, stop)) return -2;
      if (stopped()) return -2;
      if (text.generation() != generation || i >= text.block_count()) break;
      const TextBlock b = text.block(i);
      if (scanned) *scanned = b.byte + b.bytes;
      if (b.length == 0 || b.pos + b.length <= from) continue;
      if (text.from_file() && !forms.may_occur_in(text.block_bytes(i, overlap), text.encoding())) {
        continue;
      }
      // An occurrence that starts in this block may go on into the next one where a long line
      // was cut between them.
      const QString own = text.block_text(i);
      QString hay = own;
      if (needle.size() > 1 && i + 1 < text.block_count()) {
        hay += text.block_text(i + 1).left(needle.size() - 1);
      }
      const qsizetype at = fold_search_text(hay).indexOf(key, std::max<qint64>(from - b.pos, 0));
      if (at >= 0 && at < own.size()) {
        found = b.pos + at;
        break;
      }
    }
    if (text.generation() == generation) return found;
  }
}

}  // namespace tarvex
