#pragma once

#include <QImage>
#include <QWidget>

namespace tarvex {

// The picture holder. With stretch off, loading a picture gives the pane the picture's own size
// (one picture pixel per device pixel, never blurred); with stretch on the pane keeps its size
// and the picture is scaled to fill it.
class ImagePane final : public QWidget {
  Q_OBJECT
 public:
  explicit ImagePane(QWidget* parent = nullptr);

  // Loads the picture of `path`; false, with the picture unchanged, when it cannot be loaded.
  bool load_picture(const QString& path);
  void clear_picture();
  const QImage& picture() const { return picture_; }
  bool stretch() const { return stretch_; }
  void set_stretch(bool on);
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
  void show_decoded(const QString& path, const QImage& image, QSize decoded_at, qint64 bytes,
                    qint64 modified_ms);

 signals:
  void mouseReleased(Qt::MouseButton button, const QPoint& global_pos);
  void fileBoxDropped();
  void filesDropped(const QStringList& paths);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QImage picture_;
  bool stretch_ = false;
  // What the picture was decoded from: loading the same unchanged file at the same size again
  // (every layout pass does) reuses it instead of decoding it anew.
  struct Source {
    QString path;
    qint64 bytes = -1;
    qint64 modified_ms = -1;
    QSize decode_size;
    friend bool operator==(const Source&, const Source&) = default;
  } source_;
  QByteArray file_box_token_;
};

}  // namespace tarvex
