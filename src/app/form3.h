#pragma once

#include <QWidget>

class QLabel;

namespace tarvex {

// The notice window: one label for short notices ("ファイルを読み込んでます。" and the end
// notices of a bulk registration). The user cannot close it: its close button is removed and a
// close request from the window menu or the window manager is refused. Only the program closes
// it, through unload().
class Form3 final : public QWidget {
 public:
  explicit Form3(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;

  void Form_Load();
  // Closes the window from the program.
  void unload();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool unloading_ = false;
  bool font_applied_ = false;
};

}  // namespace tarvex
