#include "sheets/sheet_zip.h"

#include "platform/regular_file.h"
#include "sheets/sheet_readers.h"

#include <QFile>

#include <cstring>

#include <unistd.h>

namespace tarvex {

namespace {

// No part may unpack to more than the workbook part limit, nor to more than deflate's best ratio
// allows.
constexpr zip_uint64_t kPartLimit = zip_uint64_t(kWorkbookPartLimit);
constexpr zip_uint64_t kDeflateRatio = 1032;

}  // namespace

std::optional<std::string> read_part(zip_t* zip, const std::string& name) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(zip, name.c_str(), ZIP_FL_NOCASE, &st) != 0) return std::nullopt;
  if (!(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) return std::nullopt;
  if (st.size > kPartLimit || st.size > (st.comp_size + 1) * kDeflateRatio) return std::nullopt;
  zip_file_t* f = zip_fopen(zip, name.c_str(), ZIP_FL_NOCASE);
  if (!f) return std::nullopt;
  std::string out(size_t(st.size), '\0');
  zip_uint64_t got = 0;
  while (got < st.size) {
    const zip_int64_t n = zip_fread(f, out.data() + got, st.size - got);
    if (n <= 0) break;
    got += zip_uint64_t(n);
  }
  zip_fclose(f);
  if (got != st.size) return std::nullopt;
  return out;
}

// Element names without their namespace prefix: writers differ in the prefixes they use.
const char* local_name(const pugi::xml_node& n) {
  const char* name = n.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}
bool is(const pugi::xml_node& n, const char* name) {
  return std::strcmp(local_name(n), name) == 0;
}

pugi::xml_node child(const pugi::xml_node& parent, const char* name) {
  for (pugi::xml_node c : parent.children()) {
    if (c.type() == pugi::node_element && is(c, name)) return c;
  }
  return pugi::xml_node();
}

// An attribute by its local name (r:id, relationships:id, id).
pugi::xml_attribute attribute(const pugi::xml_node& n, const char* name) {
  for (pugi::xml_attribute a : n.attributes()) {
    const char* colon = std::strrchr(a.name(), ':');
    if (std::strcmp(colon ? colon + 1 : a.name(), name) == 0) return a;
  }
  return pugi::xml_attribute();
}

bool parse(pugi::xml_document& doc, std::string& text) {
  return doc.load_buffer_inplace(text.data(), text.size(),
                                 pugi::parse_default | pugi::parse_ws_pcdata)
             .status == pugi::status_ok;
}

Zip open_zip(const QString& path) {
  QFile file(path);
  if (!open_regular_file(file)) return Zip();
  // The archive takes a descriptor of its own, which it closes when it is discarded; on failure
  // it is left to us.
  const int fd = ::dup(file.handle());
  if (fd < 0) return Zip();
  int error = 0;
  zip_t* zip = zip_fdopen(fd, 0, &error);
  if (!zip) ::close(fd);
  return Zip(zip);
}

}  // namespace tarvex
