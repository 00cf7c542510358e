#pragma once

#include <QString>

#include <atomic>

namespace tarvex {

class IndexedText;

// The find-next search over the text as the pane shows it. The first position at or after `from`
// where `needle` occurs under the register search's character rule, −1 when there is none; an
// empty needle occurs at every position up to the end of the text. A text read from a file is
// scanned a block at a time in the file's own encoding for the needle's byte forms; only a block
// that may hold the needle is decoded and searched. Blocks not yet indexed are waited for.
// −2 once `stop` is set; `scanned`, when given, follows the bytes scanned so far.
qint64 find_next(const IndexedText& text, const QString& needle, qint64 from,
                 const std::atomic<bool>* stop = nullptr, std::atomic<qint64>* scanned = nullptr);

}  // namespace tarvex
