#pragma once

#include "display/picture_frame.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <optional>

class QScrollBar;

namespace tarvex {

struct LoadedPicture;

// The picture holder. With stretch off, loading a picture gives the pane the picture's own size
// (one picture pixel per device pixel, never blurred); with stretch on the pane keeps its size
// and the picture is scaled to fill it.
//
// With its proportions kept (a choice of the settings file), the picture is never distorted:
// stretched, it is shown whole in the pane (never larger than its own size) and centred; and in
// either mode it can be zoomed (Ctrl+wheel, +, -, 1 for its own size, 0 to fit) and, when larger
// than the pane, scrolled with scroll bars, the wheel or by dragging it.
class ImagePane final : public QWidget {
  Q_OBJECT
 public:
  // While the pane is resized continuously (the user drags the window's edge), a stretched
  // picture is decoded again for the new size at most once in this many milliseconds.
  static constexpr int kRedecodeIntervalMs = 250;

  explicit ImagePane(QWidget* parent = nullptr);

  // Loads the picture of `path`; false, with the picture unchanged, when it cannot be loaded.
  bool load_picture(const QString& path);
  void clear_picture();
  // The picture as shown: with stretch on, it may be a decode made for the pane's size.
  const QImage& picture() const { return picture_; }
  // The whole picture at its own size, upright, for the clipboard; null without a picture.
  QImage whole_picture() const;
  bool stretch() const { return stretch_; }
  void set_stretch(bool on);
  bool keep_proportions() const { return keep_proportions_; }
  void set_keep_proportions(bool on);
  // Where the picture is drawn, with its proportions kept (the pane's coordinates, its zoom
  // and scroll bars); for the tests and the accessible description.
  FrameGeometry frame_geometry() const { return frame_.geometry(); }
  QScrollBar* horizontal_bar() const { return horizontal_bar_; }
  QScrollBar* vertical_bar() const { return vertical_bar_; }
  // The picture's own size in device-independent pixels (empty without a picture).
  QSize natural_size() const;
  // The drag token of this window's file box: only its drags are taken as the file box's.
  void set_file_box_token(const QByteArray& token) { file_box_token_ = token; }
  // The size load_picture decodes at now: the pane's size in device pixels while stretching,
  // else the picture's own size (an empty size).
  QSize wanted_decode_size() const;
  // Shows a picture decoded elsewhere (the slideshow decodes the next one ahead) exactly as
  // load_picture would have shown the file: `decoded_at`, `bytes` and `modified_ms` are what it
  // was decoded at and from.
  void show_decoded(const QString& path, const LoadedPicture& picture, QSize decoded_at,
                    qint64 bytes, qint64 modified_ms);
  // How many times a file has been decoded, for the checks that decoding is not repeated.
  int decode_count() const { return decode_count_; }

 signals:
  void mouseReleased(Qt::MouseButton button, const QPoint& global_pos);
  void fileBoxDropped();
  void filesDropped(const QStringList& paths);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The size a stretched picture is decoded at: the pane's, in device pixels.
  QSize stretched_decode_size() const;
  // True when the picture on display serves the current mode and size.
  bool decode_fits() const;
  bool decode(const QString& path);
  // Decodes the stretched picture again when the pane has outgrown it, at most once in
  // kRedecodeIntervalMs; a later call within that time is done by the timer.
  void redecode_when_due();
  // A new picture (another file, or the file changed size) starts fitted or at its own size.
  void start_frame(const QString& path, QSize full_size);
  // Puts the scroll bars where the frame wants them and repaints; a zoom that needs a sharper
  // picture than the one decoded for the pane has it decoded.
  void sync_frame();
  // The picture's own size in device-independent pixels, whatever it was decoded at.
  QSize frame_picture_size() const;
  // True when the view can be moved: the picture is larger than the view.
  bool can_pan() const;

  QImage picture_;
  bool stretch_ = false;
  bool keep_proportions_ = false;
  PictureFrame frame_;
  QScrollBar* horizontal_bar_ = nullptr;
  QScrollBar* vertical_bar_ = nullptr;
  // A picture drawn smaller than it was decoded is scaled once and kept for the next paints.
  QImage scaled_;
  qint64 scaled_from_ = 0;
  // Dragging the picture: where the drag started and the scroll position then.
  std::optional<QPoint> drag_from_;
  QPoint drag_scroll_;
  // Wheel turns of less than a notch (a touchpad's) add up to one zoom step.
  int wheel_rest_ = 0;
  // What the picture was decoded from: loading the same unchanged file again (every layout pass
  // does) reuses the decode when it fits the pane.
  struct Source {
    QString path;
    qint64 bytes = -1;
    qint64 modified_ms = -1;
    friend bool operator==(const Source&, const Source&) = default;
  } source_;
  QByteArray file_box_token_;
  QSize full_size_;     // the whole picture's size, upright
  bool drawn_ = false;  // a metafile, drawn sharp at any size
  QSize decoded_for_;   // the size asked of the decode; empty: the picture's own size
  int decode_count_ = 0;
  QElapsedTimer last_decode_;
  QTimer redecode_timer_;
};

}  // namespace tarvex
