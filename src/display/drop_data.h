#pragma once

#include "platform/drag_formats.h"

#include <QStringList>

#include <optional>

class QMimeData;

namespace tarvex {

// True when a drag may be dropped on a pane: one from the file box, or one carrying local files.
bool pane_accepts_drop(const QMimeData* mime);

// What a drop on a pane asks for: the file box's selected file, or files from another program.
struct PaneDrop {
  bool from_file_box = false;
  QStringList files;
};
std::optional<PaneDrop> read_pane_drop(const QMimeData* mime);

// The local files of a drop, in order; empty when the data carries no file list.
QStringList dropped_local_files(const QMimeData* mime);

}  // namespace tarvex
