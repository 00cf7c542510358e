#pragma once

// What the readers of ZIP workbooks (.xlsx, .ods) share: bounded reading of a part, and element
// and attribute lookup by local name (writers differ in the namespace prefixes they use).

#include <zip.h>
#include <pugixml.hpp>

#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace tarvex {

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
using Zip = std::unique_ptr<zip_t, ZipCloser>;

Zip open_zip(const QString& path);

// A part's bytes; nullopt when it is missing, unreadable, or would unpack to more than its packed
// size can hold (deflate's best ratio) or than any workbook part needs.
std::optional<std::string> read_part(zip_t* zip, const std::string& name);

const char* local_name(const pugi::xml_node& n);
bool is(const pugi::xml_node& n, const char* name);
// The first child element of that local name.
pugi::xml_node child(const pugi::xml_node& parent, const char* name);
// An attribute by its local name (r:id, table:name, name).
pugi::xml_attribute attribute(const pugi::xml_node& n, const char* name);
// Parses `text` in place, keeping whitespace-only text.
bool parse(pugi::xml_document& doc, std::string& text);

}  // namespace tarvex
