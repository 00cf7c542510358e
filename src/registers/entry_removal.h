#pragma once

#include "registers/register_ring.h"

#include <QString>

namespace tarvex {

// Removes the current entry of a register: the later entries move down by one slot (the spare
// slot after max_index brings the "" in), or, when the current entry sits in slot max_index, that
// slot is emptied and the current entry becomes 0. The register no longer counts as wrapped and
// its newest slot is one lower. When the newest entry of several was removed, no entry follows it
// and the current index becomes −1: it never names a slot past the newest entry. An empty
// register, or one whose current index names no entry, keeps its slots, newest slot and wrap flag.
void remove_current_entry(Register& r);

// Whether the path the path labels name is the current entry of `r`: only then may a delete
// command of that register delete it. Empty labels name nothing.
bool labels_name_current_entry(const QString& labels_path, const Register& r);

}  // namespace tarvex
