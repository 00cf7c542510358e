#pragma once

#include "platform/job_control.h"
#include "text/text_decode.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <sys/types.h>

class QFile;

namespace tarvex {

// One stretch of a text that decodes on its own: whole lines, or a piece of a line too long for
// one block, cut where a character ends. Positions count characters as the text pane shows them:
// UTF-16 units, with each line end (CR LF, CR or LF) one character, "\n". The view's lines are
// the text's lines, except that a line longer than a block's piece (below) is shown as several.
struct TextBlock {
  qint64 byte = 0;         // where its bytes start (for a text held in memory, its first character)
  qint64 bytes = 0;        // how many bytes (characters) it has
  qint64 pos = 0;          // the position of its first character
  qint64 length = 0;       // its characters
  qint64 line = 0;         // the view line it starts
  qint64 lines = 0;        // view lines that start in it
  bool ends_line = false;  // its text ends with a line end (else the next block goes on with it)
  // ISO-2022-JP: the designation in force where the block starts, and whether a line end came
  // after it (the decoder falls back to ASCII there).
  std::array<char, 4> escape{};
  quint8 escape_size = 0;
  bool reset_since_escape = false;
  // A fingerprint of its bytes as indexed: bytes read for it later that do not match are not its
  // bytes any more (the file was changed in place).
  quint64 fingerprint = 0;
};

// Blocks are about `block` bytes, ending after a line end; a line longer than `piece` bytes is cut
// into pieces of about that size, so that no view line is too long to lay out at once. (Tests
// make them small.)
struct TextBlockSizes {
  qsizetype block = 64 * 1024;
  qsizetype piece = 16 * 1024;
  // The first bytes to read of a file: enough to decide the encoding for the first screen and to
  // index its first block.
  qsizetype open_bytes() const { return 2 * block + 8; }
};

// Where the next block ends in p[0, n): after the last line end within `sizes.block` bytes (no
// line in it longer than `sizes.piece`), else after a piece of the first line, where the decoder
// has done with every byte it read. `at_end`: p[n] is the end of the text; otherwise n must
// exceed sizes.block + 4, and 0 means that a piece needs more bytes than n to end. Offsets of
// UTF-16 text count bytes from an even place in the file; for ISO-2022-JP, `double_byte` tells
// that p[0] is read in a set of two bytes a character.
qsizetype next_block_end(const uchar* p, qsizetype n, bool at_end, TextEncoding encoding,
                         bool double_byte, const TextBlockSizes& sizes);

// The text of a block, decoded from its bytes as decoding the whole file would give it there,
// with its line ends as "\n".
QString decode_text_block(const QByteArray& bytes, TextEncoding encoding, const TextBlock& block);

// The length in characters of decode_text_block(bytes, ...), the number of "\n" in it and whether
// it ends with one, counted without decoding; nothing when only decoding can tell (bytes that do
// not form characters of the encoding, in ISO-2022-JP also escapes the decoder takes for errors,
// the first block of a text).
struct BlockCount {
  qint64 length = 0;
  qint64 line_ends = 0;
  bool ends_line = false;
};
std::optional<BlockCount> count_text_block(const QByteArray& bytes, TextEncoding encoding,
                                           const TextBlock& block);

// How texts read their files: pread, unless a test or a benchmark puts a slower reader in its
// place to see how the window fares on slow media (a network share, a USB stick). Applies to
// every text of the process; nullptr restores pread.
using TextReadFunction = ssize_t (*)(int fd, void* buffer, size_t count, off_t offset);
void set_text_read_function(TextReadFunction read);

// A text as the text pane shows it, read from its file a block at a time. Opening it reads and
// indexes the first block at once; the reading of the rest (byte offset, position and view line
// of every block) is work for whoever shows the text: read() runs it off the window's thread,
// and the text tells its watchers whenever it has more to show or a reading waits for someone
// to run it, so that the first screen shows at once and memory stays small whatever the size of
// the file. The file is read with pread, never mapped.
//
// Every block keeps a fingerprint of its bytes, and every read of a block is checked against it.
// A read that finds the file changed (a block's bytes not as indexed, or the file of another size
// or modification time and its last indexed block not as indexed: lines added at its end, as a
// log being written has them, leave it as it was) reads the text anew from its start, as a new
// decision on the encoding does (the generation grows); what that read, or a read that fails, was
// to give is not given (text() returns nothing), so that no one is given a mix of two versions of
// the file. A file removed while shown is still read through its open handle.
//
// Safe to use from several threads. No call waits for a reading but the two wait_ calls, which
// run the reading themselves, as far as they need it, when no one else is running it. A reading
// that is stopped keeps its place: the next one goes on from there.
class IndexedText {
 public:
  // A text file, open for reading; `head` holds its first bytes as read, sizes.open_bytes() of
  // them unless the file is shorter. The encoding is decided on the file's bytes unless given.
  static std::shared_ptr<IndexedText> open(std::unique_ptr<QFile> file, const QByteArray& head,
                                           const TextBlockSizes& sizes = {},
                                           std::optional<TextEncoding> encoding = std::nullopt);
  // A text given as a string ("\r\n" and "\r" become "\n"), indexed at once.
  static std::shared_ptr<IndexedText> from_string(const QString& text);

  ~IndexedText();
  IndexedText(const IndexedText&) = delete;
  IndexedText& operator=(const IndexedText&) = delete;

  bool complete() const { return complete_.load(); }
  // Blocks until the whole text is indexed.
  void wait_until_complete() const;
  // Waits until block i is indexed or the text is complete; false when `stop` was set.
  bool wait_for_block(int i, const std::atomic<bool>* stop) const;

  // Reads the text's file into the index until the text is complete or `control` is stopped,
  // going on with a reading anew that begins meanwhile; returns at once when someone else is
  // running the reading. Runs on a thread of its own; never throws.
  void read(const JobControl& control) const;
  // A reading waits for someone to run it (read()).
  bool needs_reader() const;
  // No one will run the reading (no thread to be had): the text is what is indexed so far.
  void end_reading() const;
  // Calls `wake`, on whatever thread reads or checks the text, whenever the index grows, is
  // complete, is read anew, or a reading waits for someone to run it. The calls end when the
  // returned handle goes; its destruction waits for a call under way, never for a reading.
  std::shared_ptr<void> watch(std::function<void()> wake) const;
  // Counts once the index is complete.
  qint64 length() const;
  qint64 line_count() const;
  // Grows by one whenever the text is read anew: on a new decision on the encoding, or on a file
  // found changed since it was indexed.
  int generation() const { return generation_.load(); }
  TextEncoding encoding() const;
  // The file's size as indexed (for a string: its length).
  qint64 size() const { return size_.load(); }
  // Whether the text is read from a file (rather than given as a string).
  bool from_file() const { return fd_ >= 0; }
  // Whether the file is no longer as indexed: of another size or modification time, and its last
  // indexed block not as indexed (lines added at its end leave that block as it was); if so, the
  // text is read anew, once for each change found.
  bool changed_since_indexed() const;
  // Grows by one whenever the file was found of another size or time but its last indexed block
  // as it was (lines added at its end, or a change that the blocks' fingerprints find when they
  // are read): text read from it before then is to be read, and so checked, again before it is
  // shown again.
  int touched() const { return touched_.load(); }

  int block_count() const;
  TextBlock block(int i) const;
  // The block holding the position (the last one for the end of the text), and the block where
  // the view line starts; −1 before the first or outside the index so far.
  int block_at(qint64 pos) const;
  int block_of_line(qint64 line) const;
  // The text of block i (kept for the blocks shown last); empty outside the index.
  QString block_text(int i) const;
  // The raw bytes of block i and, after them, up to `more` bytes of the blocks that follow.
  QByteArray block_bytes(int i, qint64 more = 0) const;

  // A view line: its first position and its text (without the line end).
  struct Line {
    qint64 pos = 0;
    QString text;
  };
  Line line(qint64 line) const;
  // The view line holding the position (a line end belongs to the line it ends).
  qint64 line_at(qint64 pos) const;
  // The characters from `from` to `to`, within the text indexed so far; nothing (a null string)
  // when the file was found changed or could not be read meanwhile.
  QString text(qint64 from, qint64 to) const;

 private:
  IndexedText();
  struct Decoded;
  // One reading of the file from its start: the state of its scan and where it stands in the
  // file, kept by whoever indexes next (the opener, then whoever runs read(), one at a time).
  // Reading the text anew starts another; a reading that is not the text's current one any more
  // adds nothing to the index.
  struct Run;
  struct Watchers;
  std::shared_ptr<const Decoded> decoded(int i) const;
  QByteArray read_bytes(qint64 at, qint64 count) const;
  // Whether `bytes` begin with the bytes block b was indexed from; if not, the file changed and
  // the text of generation `generation` is read anew.
  bool matches_index(const TextBlock& b, const QByteArray& bytes, int generation) const;
  // Indexes the blocks in buf[0, n) read from file offset `at`; returns the bytes used. `force`:
  // bytes that give no place to end a block make one block.
  qsizetype index_blocks(Run& run, const uchar* buf, qsizetype n, qint64 at, bool at_end,
                         std::vector<TextBlock>& out, bool force = false);
  // Changes of the index by a reading; false (nothing changed) once it is not the current one.
  bool publish(Run& run, std::vector<TextBlock>& blocks);
  bool finish_index(Run& run);
  bool forget_index(Run& run, TextEncoding encoding);
  // Indexes the first bytes of the file (`head`); true when they are the whole file.
  bool index_head(Run& run, const QByteArray& head, qsizetype& used);
  // Goes on with a reading from where it stands until it ends, is no longer the current one,
  // `stop` is set or `enough()` holds (each condition is asked with mutex_ held).
  void run_reading(Run& run, const std::atomic<bool>& stop, const std::function<bool()>& enough);
  // Runs the current reading, when no one else is, until the text is complete, `stop` is set or
  // `enough()` holds; false when someone else is running it.
  bool take_reading(const std::atomic<bool>& stop, const std::function<bool()>& enough) const;
  // Waits until `enough()` holds or the text is complete, running the reading meanwhile when no
  // one else is; false when `stop` was set.
  bool wait_until(const std::function<bool()>& enough, const std::atomic<bool>* stop) const;
  // Tells the watchers that the index has more to show.
  void wake() const;
  // The file's size and modification time now; both −1 when they cannot be read.
  struct Stamp {
    qint64 size = -1;
    qint64 mtime_ns = -1;
    bool operator==(const Stamp&) const = default;
  };
  Stamp stamp() const;
  // Starts a new reading of the file from its start; the index is empty until it gives blocks.
  void read_anew();
  // Reads the text anew unless it was already read anew since generation `generation`.
  void read_anew_since(int generation) const;

  std::unique_ptr<QFile> file_;
  int fd_ = -1;
  QString memory_;  // the text of a string
  TextBlockSizes sizes_;
  std::optional<TextEncoding> given_encoding_;
  std::atomic<qint64> size_{0};
  mutable Stamp stamp_;  // the file as indexed; guarded by restart_mutex_
  mutable std::mutex restart_mutex_;
  std::atomic<int> touched_{0};

  mutable std::mutex mutex_;
  mutable std::condition_variable grown_;
  std::vector<TextBlock> blocks_;
  TextEncoding encoding_ = TextEncoding::Utf8;
  qint64 lines_total_ = 0;  // complete: every view line, the empty one after a last line end too
  std::atomic<bool> complete_{false};
  std::atomic<int> generation_{0};
  std::shared_ptr<Run> run_;  // the current reading; guarded by mutex_
  std::shared_ptr<Watchers> watchers_;

  mutable std::mutex cache_mutex_;
  mutable std::vector<std::pair<int, std::shared_ptr<const Decoded>>> cache_;  // newest last
};

}  // namespace tarvex
