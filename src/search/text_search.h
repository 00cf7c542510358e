#pragma once

#include "platform/job_control.h"
#include "text/text_decode.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace tarvex {

// Characters that Japanese mapping tables decode differently from the same JIS code point
// (wave dash 〜 and full-width tilde ～, ‖ and ∥, − and －, ¢ ￠, £ ￡, ¬ ￢): each pair
// compares as one character. Every other character stays exact, case and width included.
char16_t fold_search_char(char16_t c);
QString fold_search_text(QString text);

// Whether `needle` occurs at 0-based position `pos` of `text` under the rule above.
bool search_text_equal_at(const QString& text, qsizetype pos, const QString& needle);

// The reference answer: decodes the file's bytes as the text pane does, splits the text at its
// line ends (CR, CRLF, LF) and tells whether one line contains `needle`. Slow; the register
// scan answers the same without decoding.
bool text_bytes_contain(const QByteArray& bytes, const QString& needle);

// The scan reads files in blocks of this size: small enough to stay in the processor's cache
// between the read and the search.
inline constexpr qsizetype kScanBlockBytes = 256 * 1024;

// A search string prepared once for many files: its byte forms in every encoding the text pane
// can choose, and the bytes that any occurrence must contain.
class SearchNeedle {
 public:
  explicit SearchNeedle(const QString& needle);
  ~SearchNeedle();
  SearchNeedle(const SearchNeedle&) = delete;
  SearchNeedle& operator=(const SearchNeedle&) = delete;

  const QString& text() const { return text_; }

  // Whether the file's bytes contain the string on one line: equal to text_bytes_contain. The
  // bytes are searched as a file is, in blocks of `block` bytes (tests make them small).
  bool found_in(const QByteArray& bytes, qsizetype block = kScanBlockBytes) const;
  // Whether bytes of a text in `encoding` may hold the string: false only when none of its byte
  // forms stands in them (at any offset), so that their decoded text cannot hold it either; for
  // ISO-2022-JP, when none of the codes of one of its characters stands where the escapes before
  // it let it be read as one. For a string that only the decoded text can answer for, true.
  bool may_occur_in(const QByteArray& bytes, TextEncoding encoding) const;

  struct Forms;  // per encoding, in the .cpp

 private:
  friend class FileSearcher;
  QString text_;
  std::unique_ptr<const Forms> forms_;
};

enum class FileSearchResult { Found, NotFound, Unreadable };

// Searches one file, reading it in large blocks and stopping at the first occurrence. Stops
// early (NotFound) once `stop` is set, within a block in every pass. Only regular files are
// read: a pipe or a device could keep the scan waiting for ever. The file is read with pread,
// never mapped: a file cut short, grown or replaced meanwhile is read as it is at that moment.
FileSearchResult search_file(const SearchNeedle& needle, const QString& path,
                             const std::atomic<bool>* stop = nullptr);

// A scan of many files in parallel: one worker per core, files handed out in entry order. What
// the window follows of it while it runs.
struct ScanControl {
  std::atomic<int> done{0};  // files finished so far
  // Called on the worker's thread before each entry is searched, when set.
  std::function<void(int entry)> starting;
};

// The indexes of the entries whose file contains the needle, in entry order. Entries that are
// missing or unreadable are skipped. Once `job` is stopped the scan ends early, with the entries
// finished so far.
std::vector<int> scan_files(const std::vector<QString>& paths, const SearchNeedle& needle,
                            const JobControl& job, ScanControl& control, int workers = 0);

}  // namespace tarvex
