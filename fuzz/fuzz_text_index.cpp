// The index of a plain text file: its blocks decode, one by one, to the text that decoding the
// whole file gives; the counts taken without decoding equal the decoded ones; positions, lines and
// the text of every line agree. The first byte chooses the sizes of blocks and pieces (small, so
// that short inputs have many), the second the encoding: decided on the bytes, or one of the
// encodings.
#include "text/text_decode.h"
#include "text/text_index.h"

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

using namespace tarvex;

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "failed: %s\n", what);
  std::abort();
}
#define CHECK(condition) check(condition, #condition)

// The whole text as decoding the whole file gives it, with its line ends as "\n". A byte that
// the decoder substitutes may show as U+001A or U+FFFD depending on the rest of the bytes given
// to it at once: both count as U+FFFD here.
QString reference(const QByteArray& bytes, TextEncoding encoding) {
  QString text = decode_text_as(bytes, encoding);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  text.replace(QChar(0x1A), QChar::ReplacementCharacter);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int knob = data[0];
  const QByteArray bytes(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
  TextBlockSizes sizes;
  sizes.piece = 8 + (knob & 0x07) * 5;
  sizes.block = sizes.piece * (2 + ((knob >> 3) & 1)) + ((knob >> 4) & 1) * 7;
  constexpr TextEncoding kEncodings[] = {
      TextEncoding::Cp932,   TextEncoding::EucJp,      TextEncoding::Iso2022Jp,
      TextEncoding::Utf8,    TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom,
      TextEncoding::Utf8Bom, TextEncoding::Utf16Le,    TextEncoding::Utf16Be};
  std::optional<TextEncoding> forced;
  const int chosen = data[1] % (std::size(kEncodings) + 1);
  if (chosen > 0) forced = kEncodings[chosen - 1];
  if (forced == TextEncoding::Utf8Bom && !bytes.startsWith("\xEF\xBB\xBF")) return 0;
  if (forced == TextEncoding::Utf16LeBom && !bytes.startsWith("\xFF\xFE")) return 0;
  if (forced == TextEncoding::Utf16BeBom && !bytes.startsWith("\xFE\xFF")) return 0;

  const int fd = memfd_create("text", MFD_CLOEXEC);
  CHECK(fd >= 0 && write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size());
  auto file = std::make_unique<QFile>();
  CHECK(file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
  const std::shared_ptr<IndexedText> text =
      IndexedText::open(std::move(file), bytes.left(sizes.open_bytes()), sizes, forced);
  text->wait_until_complete();
  const TextEncoding encoding = text->encoding();
  if (!forced) CHECK(encoding == detect_text_encoding(bytes));

  // The blocks follow each other; their counts are those of their decoded text.
  qint64 pos = 0, line = 0, byte = 0;
  const int blocks = text->block_count();
  CHECK(blocks >= 1);
  for (int i = 0; i < blocks; ++i) {
    const TextBlock b = text->block(i);
    CHECK(b.byte == byte && b.pos == pos && b.line == line && b.lines >= (b.length > 0 ? 1 : 0));
    const QByteArray raw = bytes.mid(b.byte, b.bytes);
    CHECK(text->block_bytes(i) == raw);
    const QString decoded = decode_text_block(raw, encoding, b);
    CHECK(decoded == text->block_text(i) && decoded.size() == b.length);
    CHECK(decoded.endsWith(u'\n') == b.ends_line);
    if (const std::optional<BlockCount> count = count_text_block(raw, encoding, b)) {
      CHECK(count->length == decoded.size() && count->line_ends == decoded.count(u'\n'));
      CHECK(count->ends_line == decoded.endsWith(u'\n'));
    }
    CHECK(b.bytes > 0 || blocks == 1);
    byte += b.bytes;
    pos += b.length;
    line += b.lines;
  }
  CHECK(byte == bytes.size() && pos == text->length() && line == text->line_count());

  // The text shown is the text of the whole file.
  const QString shown = text->text(0, text->length());
  const QString expected = reference(bytes, encoding);
  QString seen = shown;
  seen.replace(QChar(0x1A), QChar::ReplacementCharacter);
  CHECK(seen == expected);

  // The lines, joined by their line ends, are the text; each line's position leads back to it.
  QString joined;
  for (qint64 l = 0; l < text->line_count(); ++l) {
    const IndexedText::Line at = text->line(l);
    CHECK(at.pos == joined.size());
    CHECK(at.text == shown.mid(at.pos, at.text.size()));
    CHECK(text->line_at(at.pos) == l);
    joined += at.text;
    const qint64 next = l + 1 < text->line_count() ? text->line(l + 1).pos : shown.size();
    // Between two lines stands a line end, or nothing where a long line was cut.
    const qint64 gap = next - (at.pos + at.text.size());
    CHECK(gap == 0 || (gap == 1 && shown[at.pos + at.text.size()] == u'\n'));
    if (gap == 1) joined += u'\n';
  }
  CHECK(joined == shown);
  return 0;
}
