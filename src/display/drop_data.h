#pragma once

#include "platform/drag_formats.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <optional>

class QDropEvent;
class QMimeData;

namespace tarvex {

// True when a drag may be dropped on a pane: one from the file box whose drag token is
// `own_file_box`, or one carrying local files.
bool pane_accepts_drop(const QMimeData* mime, const QByteArray& own_file_box);

// What a drop on a pane asks for: the selected file of this window's file box (the marker's
// token is `own_file_box`), or files from another program. A drag from another window's file box
// is taken by its files, like any other program's.
struct PaneDrop {
  bool from_file_box = false;
  QStringList files;
};
std::optional<PaneDrop> read_pane_drop(const QMimeData* mime, const QByteArray& own_file_box);

// A drop on a pane, taken the one way both panes take it: `file_box` runs for a drop from this
// window's file box, `files` with the dropped files for one from another program; data with
// neither is left untaken.
void take_pane_drop(QDropEvent* event, const QByteArray& own_file_box,
                    const std::function<void()>& file_box,
                    const std::function<void(const QStringList& files)>& files);

// The local files of a drop, in order; empty when the data carries no file list.
QStringList dropped_local_files(const QMimeData* mime);

}  // namespace tarvex
