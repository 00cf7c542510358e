#pragma once

// Form1, the main window: its controls, menus, state and operations. Each group of operations is
// implemented in the folder of its subsystem; the comments name the file.

#include "app/form_state.h"
#include "platform/message_box.h"
#include "platform/platform.h"
#include "settings/settings_file.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace tarvex {

class ClassicTimer;
class FileBox;
class FolderTree;
class Form2;
class Form3;
class Form4;
class ImagePane;
class TextPane;

class Form1 final : public QMainWindow {
 public:
  // Creating the main window runs start-up (Form_Load).
  explicit Form1(const Platform& platform, QWidget* parent = nullptr);
  ~Form1() override;

  // ---- Controls, in creation order -------------------------------------------------------
  QListWidget* Txt_List = nullptr;
  QListWidget* Img_List = nullptr;
  QLineEdit* Text1 = nullptr;
  TextPane* RichTextBox2 = nullptr;
  std::array<QPushButton*, 2> Command6{};
  QListWidget* List1 = nullptr;
  std::array<QPushButton*, 2> Command3{};
  std::array<QPushButton*, 2> Command1{};
  ClassicTimer* 連続テキスト = nullptr;
  std::array<QCheckBox*, 2> Check1{};
  std::array<QPushButton*, 2> Command2{};
  ClassicTimer* ロード終了表示 = nullptr;
  TextPane* RichTextBox1 = nullptr;
  ClassicTimer* 連続画像 = nullptr;
  FileBox* File1 = nullptr;
  FolderTree* SHTree1 = nullptr;
  QLabel* Label6 = nullptr;
  std::array<QLabel*, 2> Label5{};
  std::array<QLabel*, 3> Label4{};
  QLabel* Label3 = nullptr;
  QLabel* Label2 = nullptr;
  ImagePane* Image1 = nullptr;

  // ---- Menus ------------------------------------------------------------------------------
  QMenu* hyouji = nullptr;  // イメージ(&I)
  QAction* img_all_load = nullptr;
  QAction* img_all_clear = nullptr;
  QAction* 区分線2 = nullptr;
  QAction* 画像のコピー = nullptr;
  QAction* image_登録から削除 = nullptr;
  QAction* 区分線1 = nullptr;
  QAction* image_ファイル削除 = nullptr;
  QAction* 区分線13 = nullptr;
  QAction* img_file_open = nullptr;
  QMenu* t_hyouji = nullptr;  // テキスト(&T)
  QAction* txt_all_load = nullptr;
  QAction* txt_all_clear = nullptr;
  QAction* 区分線4 = nullptr;
  QAction* txt_kensaku = nullptr;
  QAction* 文字列検索の終了 = nullptr;
  QAction* 区分線5 = nullptr;
  QAction* コピー = nullptr;
  QAction* text_登録から削除 = nullptr;
  QAction* 区分線6 = nullptr;
  QAction* text_ファイル削除 = nullptr;
  QAction* 区分線3 = nullptr;
  QAction* txt_file_open = nullptr;
  QMenu* 表示 = nullptr;  // 表示(&V)
  QAction* now_refresh = nullptr;
  QAction* 区分線12 = nullptr;
  QAction* 登録ファイル名表示 = nullptr;
  QAction* 区分線8 = nullptr;
  QAction* 最大画面表示 = nullptr;
  QMenu* 環境設定 = nullptr;  // 環境設定(&P)
  QAction* 環境設定表示 = nullptr;
  QMenu* ヘルプ = nullptr;  // ヘルプ(&H)
  QAction* Tarvexのヘルプ = nullptr;
  QAction* 区分線7 = nullptr;
  QAction* バージョン情報 = nullptr;
  QAction* 区分線9 = nullptr;
  QAction* 終了 = nullptr;
  QMenu* file = nullptr;  // ファイル: never in the menu bar, the file box's pop-up menu
  QAction* list_file_open = nullptr;

  // ---- Other windows ------------------------------------------------------------------------
  Form2* form2() const { return form2_.get(); }
  Form3* form3() const { return form3_.get(); }
  Form4* form4() const { return form4_.get(); }

  // ---- State --------------------------------------------------------------------------------
  FormState st;
  QString app_title;
  const SettingsFile& settings() const { return settings_; }

  // Every message box of the window goes through here (the platform's message service).
  int msgbox(const QString& text, MsgButtons buttons);

  // ---- Shell: start-up and shutdown (app/startup.cpp) ---------------------------------------
  void Form_Load();
  void Form_Unload();
  void 終了_Click();

  // ---- Shell: window layout (app/window_layout.cpp) -----------------------------------------
  void window_layout();
  // The outer size in twips: the window with its frame, caption and menu bar.
  QSize outer_size_twips() const;  // width × height
  void set_outer_size_twips(int height, int width);
  bool minimized_for_layout() const;

  // ---- Registers (registers/register_lists.cpp) ---------------------------------------------
  void Img_File_List();
  void Txt_file_list();
  QString Re_Number(int org_number) const;
  void nothing_img_file();
  void nothing_txt_file();

  // ---- Display (display/dispatcher.cpp, display/spreadsheet_preview.cpp) --------------------
  int ファイルの表示(const QString& source, int target);
  int ラベル表示(const QString& full_path);
  // True when a path label, lower-cased, ends in ".ico" or ".cur": the picture on display is an
  // icon or a cursor, which is neither copied nor opened with another program.
  bool labels_show_icon_or_cursor() const;
  int Excelで表示(int select_flg);
  int Lotus123で表示(int select_flg);
  QString Create_Excel(const QString& file_name, const QString& drive);
  QString Create_Lotus123(const QString& file_name, const QString& drive);
  // ---- Spreadsheet preview readings (display/form1_spreadsheet_preview.cpp) -----------------
  // A preview reads its workbook on a worker thread while Form3 shows the loading notice. Every
  // preview or text step takes a new ticket; a reading's text reaches RichTextBox1 only while
  // its ticket is still the newest, so a step the user has moved on with is never overwritten.
  quint64 take_sheet_ticket();
  void start_sheet_reading(quint64 ticket, QString (*copy)(const QString&, const QString&),
                           const QString& file_name, const QString& drive);
  // True while the newest preview's reading has not yet been applied.
  bool sheet_reading_pending() const { return sheet_pending_ticket_ != 0; }

  // ---- Text pane (display/text_pane_events.cpp) ---------------------------------------------
  void RichTextBox1_MouseUp(Qt::MouseButton button, const QPoint& global_pos);
  void RichTextBox2_GotFocus();
  void コピー_Click();
  void text_to_clipboard();

  // ---- Image pane (display/image_pane_events.cpp) -------------------------------------------
  void Image1_MouseUp(Qt::MouseButton button, const QPoint& global_pos);
  void 画像のコピー_Click();
  void 最大画面表示_Click();
  void 最大画面の再描画();
  void apply_fit_option();
  // Drops on either pane: from the file box, or files from another program.
  void pane_file_box_drop();
  void pane_files_drop(const QStringList& paths);

  // ---- Browsing (browse/browse_events.cpp) --------------------------------------------------
  void SHTree1_Change();
  void File1_DblClick();
  void File1_MouseUp(Qt::MouseButton button, const QPoint& global_pos);
  void now_refresh_Click();
  void file_open();
  // The file box's folder joined with its selected file name.
  QString file_box_selected_path() const;
  // Moves the folder tree and the file box to `folder` (the command line, start-up).
  void browse_to(const QString& folder);
  // Selects `name` in the file box when it is listed there.
  void select_in_file_box(const QString& name);

  // Pops `menu` up at `global_pos`; tests replace this to answer pop-ups without a menu loop.
  std::function<void(QMenu* menu, const QPoint& global_pos)> popup_menu;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void create_controls();
  void create_menus();
  void connect_events();

  Platform platform_;
  SettingsFile settings_;
  std::unique_ptr<Form2> form2_;
  std::unique_ptr<Form3> form3_;
  std::unique_ptr<Form4> form4_;
  bool unloaded_ = false;
  // Spreadsheet preview readings: the newest ticket and the one whose text is still awaited.
  quint64 sheet_ticket_ = 0;
  quint64 sheet_pending_ticket_ = 0;
};

}  // namespace tarvex
