#pragma once

// Form1, the main window: its controls, menus, state and operations. Each group of operations is
// implemented in the folder of its subsystem; the comments name the file.

#include "app/form_state.h"
#include "platform/message_box.h"
#include "platform/platform.h"
#include "settings/settings_file.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

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
class FrmAbout;
class ImagePane;
class JobRunner;
class PicturePrefetch;
class TextPane;
class Trash;

class Form1 final : public QMainWindow {
 public:
  // Creating the main window runs start-up (Form_Load). Controls, menus and their connections are
  // made in app/form1_controls.cpp.
  explicit Form1(const Platform& platform, QWidget* parent = nullptr);
  ~Form1() override;

  // ---- Controls, in creation order --------------------------------------------------------------
  QListWidget* text_list = nullptr;
  QListWidget* image_list = nullptr;
  QLineEdit* number_box = nullptr;
  TextPane* result_view = nullptr;
  std::array<QPushButton*, 2> hit_arrows{};
  QListWidget* hit_list = nullptr;
  std::array<QPushButton*, 2> text_arrows{};
  std::array<QPushButton*, 2> pause_buttons{};
  ClassicTimer* text_timer = nullptr;
  std::array<QCheckBox*, 2> continuous_checks{};
  std::array<QPushButton*, 2> image_arrows{};
  ClassicTimer* notice_timer = nullptr;
  TextPane* text_pane = nullptr;
  ClassicTimer* image_timer = nullptr;
  FileBox* file_box = nullptr;
  FolderTree* folder_tree = nullptr;
  QLabel* count_label = nullptr;
  std::array<QLabel*, 2> continuous_labels{};
  std::array<QLabel*, 3> path_labels{};
  QLabel* path_caption = nullptr;
  QLabel* number_caption = nullptr;
  ImagePane* image_pane = nullptr;

  // ---- Menus ------------------------------------------------------------------------------------
  QMenu* image_menu = nullptr;  // イメージ(&I)
  QAction* img_all_load = nullptr;
  QAction* img_all_clear = nullptr;
  QAction* 区分線2 = nullptr;
  QAction* 画像のコピー = nullptr;
  QAction* image_登録から削除 = nullptr;
  QAction* 区分線1 = nullptr;
  QAction* image_ファイル削除 = nullptr;
  QAction* 区分線13 = nullptr;
  QAction* img_file_open = nullptr;
  QMenu* text_menu = nullptr;  // テキスト(&T)
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
  QMenu* view_menu = nullptr;  // 表示(&V)
  QAction* now_refresh = nullptr;
  QAction* 区分線12 = nullptr;
  QAction* 登録ファイル名表示 = nullptr;
  QAction* 区分線8 = nullptr;
  QAction* 最大画面表示 = nullptr;
  QMenu* options_menu = nullptr;  // 環境設定(&P)
  QAction* 環境設定表示 = nullptr;
  QMenu* help_menu = nullptr;  // ヘルプ(&H)
  QAction* Tarvexのヘルプ = nullptr;
  QAction* 区分線7 = nullptr;
  QAction* バージョン情報 = nullptr;
  QAction* 区分線9 = nullptr;
  QAction* 終了 = nullptr;
  QMenu* file_menu = nullptr;  // ファイル: never in the menu bar, the file box's pop-up menu
  QAction* list_file_open = nullptr;

  // ---- Other windows ----------------------------------------------------------------------------
  Form2* form2() const { return form2_.get(); }
  Form3* form3() const { return form3_.get(); }
  Form4* form4() const { return form4_.get(); }

  // ---- State ------------------------------------------------------------------------------------
  FormState st;
  QString app_title;
  const SettingsFile& settings() const { return settings_; }

  // Every message box of the window goes through here (the platform's message service;
  // app/form1_controls.cpp).
  int msgbox(const QString& text, MsgButtons buttons);

  // ---- Shell: start-up and shutdown (app/form1_startup.cpp) -------------------------------------
  void Form_Load();
  void Form_Unload();
  // Stores every setting in the file's order, in one write (shutdown, and the options dialog),
  // with the intervals given in seconds; a failure is told once, with its reason and the file.
  void save_settings(const QString& text_seconds, const QString& image_seconds);
  void 終了_Click();

  // ---- Shell: window layout (app/form1_layout.cpp) ----------------------------------------------
  void window_layout();
  // The outer size in twips: the window with its frame, caption and menu bar.
  QSize outer_size_twips() const;  // width × height
  void set_outer_size_twips(int height, int width);
  bool minimized_for_layout() const;
  // True while the window is maximised or full screen: its size is the window manager's.
  bool maximized_for_layout() const;
  // True when the window cannot take the minimum size (its maximum size is smaller).
  bool minimum_size_refused() const;
  // One layout pass at the size the window has, when the minimum size was not granted.
  void lay_out_at_actual_size();

  // ---- Registers (registers/form1_register_lists.cpp) -------------------------------------------
  // One register with the controls and commands that serve it. Where the two registers are
  // handled alike, a step is written once over a side; where the described steps differ, the
  // step says so.
  struct RegisterSide {
    bool image = false;
    Register& reg;
    QListWidget* list;                    // Img_List, Txt_List
    std::array<QPushButton*, 2>& arrows;  // Command2, Command3: backward, forward
    QPushButton* pause;                   // Command1(0), Command1(1)
    QCheckBox* check;                     // Check1(0), Check1(1)
    ClassicTimer* timer;                  // 連続画像, 連続テキスト
    QWidget* pane;                        // Image1, RichTextBox1
    bool& paused;                         // img_paused, txt_paused
    bool& nav_started;                    // img_nav_started, txt_nav_started
    // The commands that need a file of this register.
    QAction* clear_all;    // img_all_clear, txt_all_clear
    QAction* search;       // none, txt_kensaku
    QAction* open;         // img_file_open, txt_file_open
    QAction* remove;       // image_登録から削除, text_登録から削除
    QAction* copy;         // 画像のコピー, コピー
    QAction* delete_file;  // image_ファイル削除, text_ファイル削除
    // What a newly shown file enables: clearing, searching (texts), opening and removing. Copying
    // follows the file's kind, deleting the permission.
    QList<QAction*> entry_commands() const;
    // Every command that needs a file of this register: all go when it is cleared.
    QList<QAction*> register_commands() const;
    // The index of the side's controls in the control arrays: 0 images, 1 texts.
    int index() const { return image ? 0 : 1; }
  };
  RegisterSide side(bool image);
  // True while the side's pane is the one on display.
  bool on_display(const RegisterSide& side) const;
  void Img_File_List();
  void Txt_file_list();
  // Rebuilds a side's list box: one line per entry, none selected.
  void list_entries(const RegisterSide& side);
  QString Re_Number(int org_number) const;
  // The selected line of a list box (a register list, the hit list), −1 while none is.
  static int selected_line(const QListWidget* list);
  // Selects line `row` of a list box; false when the list has no such line.
  static bool select_line(QListWidget* list, int row);
  void nothing_img_file();
  void nothing_txt_file();
  void missing_file_prompt(const RegisterSide& side);

  // ---- Selection (registers/form1_selection.cpp) --------------------------------------------
  // The register lists: a left-button release or an Up / Down key release shows the chosen entry.
  void Img_List_MouseUp(Qt::MouseButton button);
  void Txt_List_MouseUp(Qt::MouseButton button);
  void Img_List_KeyUp(int key_code);
  void Txt_List_KeyUp(int key_code);
  // The number box.
  void Text1_GotFocus();
  void Text1_MouseDown();
  void Text1_KeyPress(int key_ascii);
  void Text1_LostFocus();
  void 登録ファイル名表示_Click();

  // ---- Continuous display and navigation (slideshow/form1_navigation.cpp) -------------------
  void Check1_Click(int index);
  void Command1_Click(int index);
  void Command2_Click(int index);
  void Command3_Click(int index);
  void 連続画像_Timer();
  void 連続テキスト_Timer();
  // Keeps the picture inside the window unless the window is maximised or the picture stretched.
  void clamp_image_to_window();
  // Keyboard: the previous and next entry of the register on display, pause / resume.
  QAction* previous_entry_key = nullptr;
  QAction* next_entry_key = nullptr;
  QAction* pause_key = nullptr;
  // The keys of a picture viewer, with the focus on the image pane or on its arrow buttons:
  // the arrows and Page Up / Page Down step, Space pauses or resumes the running display, Esc
  // leaves the maximised display. True when the key was taken.
  bool Image1_KeyDown(int key_code, Qt::KeyboardModifiers modifiers, bool repeated);
  // The image slideshow decodes the next picture ahead; benchmarks compare with it off.
  bool prefetch_enabled = true;
  PicturePrefetch& look_ahead() { return *prefetch_; }
  // True while a message box of the window is open: ticks and steps wait for its answer.
  bool message_open() const { return message_depth_ > 0; }

  // ---- Removal and deletion (registers/form1_removing.cpp) ----------------------------------
  void remove_img_entry();
  void remove_txt_entry();
  void remove_entry(const RegisterSide& side);
  void image_登録から削除_Click();
  void text_登録から削除_Click();
  void remove_command(const RegisterSide& side);
  void delete_img_file();
  void delete_txt_file();

  // ---- Display (display/form1_dispatcher.cpp, display/form1_spreadsheet_preview.cpp) ------------
  int ファイルの表示(const QString& source, int target);
  // Enables what a newly shown file of a side enables: its entry commands, and deleting when
  // allowed.
  void enable_entry_commands(const RegisterSide& side);
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

  // ---- Text pane (display/form1_text_pane.cpp) --------------------------------------------------
  void RichTextBox1_MouseUp(Qt::MouseButton button, const QPoint& global_pos);
  void RichTextBox2_GotFocus();
  void コピー_Click();
  void text_to_clipboard();
  // A text pane found its selection too large to copy: the user is told why nothing was copied.
  void text_copy_refused();
  // Drops on either pane: from the file box, or files from another program.
  void pane_file_box_drop();
  void pane_files_drop(const QStringList& paths);

  // ---- Image pane (display/form1_image_pane.cpp) ------------------------------------------------
  void Image1_MouseUp(Qt::MouseButton button, const QPoint& global_pos);
  void 画像のコピー_Click();
  void 最大画面表示_Click();
  void 最大画面の再描画();
  // True while the maximised picture display can take effect: the window maximised, the picture
  // on display, unstretched or keeping its proportions.
  bool maximised_display_possible() const;
  void apply_fit_option();
  // Loads the current image entry into the image pane again; an empty slot empties the pane.
  // Used by the layout pass and the maximised display.
  void reload_current_picture();

  // ---- Browsing (browse/form1_browsing.cpp) -----------------------------------------------------
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
  // False, with the user told why, when the file box's selected name is one whose encoding could
  // not be read (the file cannot be opened by the name shown).
  bool file_box_selection_readable();

  // ---- Bulk registration and clearing (registers/form1_bulk.cpp) ----------------------------
  void img_all_load_Click();
  void txt_all_load_Click();
  void bulk_load(const RegisterSide& side);
  void img_all_clear_Click();
  void txt_all_clear_Click();
  void clear_side(const RegisterSide& side);

  // ---- Notice timer (slideshow/form1_notice.cpp) --------------------------------------------
  // Puts `text` into the notice window and starts the timer that shows the window for a short
  // while and then closes it.
  void show_notice(const QString& text);
  void ロード終了表示_Timer();

  // ---- Options (settings/form1_options.cpp) ------------------------------------------------
  void 環境設定表示_Click();

  // ---- About and help (about/form1_about.cpp) -----------------------------------------------
  void バージョン情報_Click();
  void Tarvexのヘルプ_Click();
  // The About box while it is open, else null.
  FrmAbout* frm_about() const;

  // ---- Search (search/form1_search.cpp) ---------------------------------------------------
  void txt_kensaku_Click();
  void kensaku_main();
  void List1_MouseDown(Qt::MouseButton button);
  void List1_MouseUp(Qt::MouseButton button, const QPoint& global_pos);
  void Command6_Click(int index);
  // Opens the selected hit in the text pane and shows the find-next panel; an arrow step leaves
  // the result view's size alone.
  void open_hit(bool by_arrow);
  void 文字列検索(const QString& 検索文字列);
  // The next occurrence in the result view's text at or after `from` (−1 for none), searched off
  // the window's thread with a progress dialog; nothing when the user cancelled it.
  std::optional<qint64> find_in_result_view(const QString& text, qint64 from);
  void 検索画面終了();
  void 文字列検索の終了_Click();
  void connect_search_events();
  // How long a register scan or a find-next search runs before its progress dialog shows (ms).
  int scan_progress_delay_ms = 300;
  // Told on the scan's threads before each entry is searched, and on the find-next search's
  // thread before it starts (tests hold the search with them).
  std::function<void(int entry)> scan_starting;
  std::function<void()> find_next_starting;

  // Pops `menu` up at `global_pos`; tests replace this to answer pop-ups without a menu loop.
  std::function<void(QMenu* menu, const QPoint& global_pos)> popup_menu;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void create_controls();
  void set_accessible_names();
  void create_menus();
  void connect_events();
  void connect_bulk_events();  // registers/form1_bulk.cpp

  // Selection, navigation and removal (their folders' form1_*.cpp files).
  void connect_selection_events();
  void connect_navigation_events();
  void connect_removing_events();
  void select_from_list(bool image, int selected);
  // The pause button's caption "□" (running) or "■" (paused), and the same in words.
  void show_pause_state(int index, bool paused);
  void number_box_go(bool on_enter);
  // Loads the file of an entry into its side's pane (a picture from the slideshow's prefetched one
  // when that is of the unchanged file); false, the pane as it was, when it cannot be shown. A
  // text, like a blanked text pane, supersedes a workbook still being read.
  bool load_entry(const RegisterSide& side, const QString& path);
  // What showing an entry marks besides its pane: the number box alone (a list choice, the number
  // box left), with the entry's list line (Enter in the number box), or the count label too (the
  // picture arrows and tick).
  enum class EntryMarks { Number, NumberAndLine, All };
  // Brings entry `i` of a side into view: the number box (and what `marks` adds), the path labels,
  // then the file in the side's pane. False when the file cannot be loaded (the pane keeps what it
  // showed) or the list lacks the line.
  bool show_entry(const RegisterSide& side, int i, EntryMarks marks);
  // Empties the side's pane: no picture, or no text.
  void blank_pane(const RegisterSide& side);
  // Starts the side's continuous display (the mode switch with its box checked).
  void start_running(const RegisterSide& side);
  void prefetch_next_picture();
  bool delete_register_file(bool image);
  Trash& trash();
  int message_depth_ = 0;
  std::unique_ptr<PicturePrefetch> prefetch_;
  std::unique_ptr<Trash> own_trash_;
  // Gives the options dialog what its OK changes and the file its Cancel reads.
  void connect_options_dialog();
  // Takes the options the window consults (st.options) from the dialog's controls.
  void take_dialog_options();
  void close_about_box();

  Platform platform_;
  SettingsFile settings_;
  std::unique_ptr<Form2> form2_;
  std::unique_ptr<Form3> form3_;
  std::unique_ptr<Form4> form4_;
  bool unloaded_ = false;
  bool minimum_refused_ = false;
  // The first showing has asked for a layout pass once the window is framed on screen.
  bool first_exposure_watched_ = false;
  QPointer<FrmAbout> frm_about_;

 public:
  // Runs the window's work off its thread (platform/job_runner.h). Lanes of its jobs are members
  // declared before it: it is destroyed first, stopping its jobs, so no result outlives them.
  JobRunner& jobs() { return *jobs_; }

 private:
  // Spreadsheet preview readings: the newest ticket and the one whose text is still awaited.
  quint64 sheet_ticket_ = 0;
  quint64 sheet_pending_ticket_ = 0;
  // Last, so that it is destroyed first.
  std::unique_ptr<JobRunner> jobs_;
};

}  // namespace tarvex
