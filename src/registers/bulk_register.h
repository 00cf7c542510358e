#pragma once

#include "display/classify.h"
#include "registers/register_ring.h"

#include <QString>
#include <QStringList>

namespace tarvex {

// Which register a bulk command fills.
enum class BulkKind { Images, Texts };

// Whether the bulk command of `kind` takes a name listed in the file box. The last three
// characters of the name count, in lower case: images are bmp, ico, wmf, cur, jpg and gif; texts
// are everything except bmp, ico, jpg and gif. The two are not complements: a name ending in wmf
// or cur is taken by both. A name with an added image extension (`added`) is an image and never
// a text.
bool bulk_takes(BulkKind kind, const QString& name, const AddedImageExtensions& added);

// Registers, in the given order, every name of `names` that the command of `kind` takes, each
// joined to `folder` with one separator, through the ordinary registration step without undo
// copies (no duplicate check, wrapping after max_index as usual). The current entry is left
// alone. Returns how many names were registered.
int bulk_register(Register& r, BulkKind kind, const QString& folder, const QStringList& names,
                  const AddedImageExtensions& added);

// Empties a register: slots 0 … max_index become "", the newest slot returns to −1, the wrap flag
// and the current entry to 0. The size of the register does not change.
void clear_register(Register& r);

}  // namespace tarvex
