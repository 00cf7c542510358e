#pragma once

#include "platform/message_box.h"
#include "registers/register_ring.h"
#include "settings/extension_table.h"

#include <QString>

#include <optional>

namespace tarvex {

// The spreadsheet application chosen for previews (the options dialog's three choices).
enum class SheetApp { None, Lotus, Excel };

// Which control opened the last pop-up menu; it decides what "ファイルを開く(&O)" opens.
enum class PopupSource {
  None,     // no pop-up yet, or the file box's or the hit list's has closed
  FileBox,  // the file box
  HitList,  // the search-hit list
  Pane,     // the image pane or the text pane (kept after the menu closes)
};

// A register side named by what it holds; None when no side is meant.
enum class SideId { None, Images, Texts };

// What one register side shows besides its list lines. The side's controls are written from it
// (Form1::sync_side) and never read back for it.
struct SideView {
  bool running = false;  // its continuous display is on (the side's check box is checked)
  bool pane = true;      // its pane is on display; both are, blank, until the first file
  bool arrows = false;   // its arrow buttons are offered
  bool pause = false;    // its pause button is offered
  bool list = false;     // its list box is shown
  // The commands that need a file of this register, each enabled or not. The steps enable them
  // differently: a picture from the file box enables opening, a bulk registration of pictures
  // does not.
  struct Commands {
    bool clear_all = false, search = false, open = false, remove = false, copy = false,
         delete_file = false;
  };
  Commands commands;
};

// The form-level variables of the main window. Everything starts at 0, false or "" until
// start-up.
struct FormState {
  // Shell.
  // The answer of the last message box, kept only where the next step reads it; none before the
  // first box.
  std::optional<MsgAnswer> msg_answer;
  PopupSource popup_source = PopupSource::None;
  bool layout_done = false;  // a layout pass has completed

  // Settings.
  ExtensionTable search_exts, lotus_exts, excel_exts;
  // The options the register commands, the image pane and shutdown consult, as the options dialog
  // last left them: taken from it at start-up and each time it closes.
  struct Options {
    bool fit = false;             // fit the picture to the pane
    bool delete_allowed = false;  // the delete-file commands may be enabled
    QString pattern;              // the dialog's pattern box, stored at shutdown
    // The picture keeps its proportions; the settings file's text for it, written back unchanged
    // ("" when the file has no such key, which then stays without it).
    bool keep_proportions = false;
    QString keep_proportions_text;
  };
  Options options;
  ExtensionTable image_exts;  // picture formats added by the settings file, read at start-up

  // What the window shows. Labels, check marks and panes are written from these, never read for
  // them.
  QString shown_path;              // the file the path labels name; "" when they name none
  bool counted = false;            // the count label names a register ("" while nothing is shown)
  bool list_display = false;       // 登録ファイル名表示 is checked
  bool maximised_display = false;  // 最大画面表示 is checked

  // Registers.
  Register img, txt;
  SideView img_view, txt_view;
  bool img_found = false, txt_found = false;  // a bulk registration took a file

  // Spreadsheet preview.
  SheetApp sheet_app = SheetApp::None;
  QString sheet_file;
  bool excel_hit = false, lotus_hit = false;

  // Continuous display and navigation.
  bool img_paused = false, txt_paused = false;
  bool img_nav_started = false, txt_nav_started = false;
  int notice_count = 0;

  // Text pane.
  QString sel_text;

  // Search.
  QString search_text, hit_path;
  bool search_mode = false;
  int hit_len = 0;
  bool search_ready = false;  // the search of the opened hit is prepared
  qint64 hit_pos = 0;         // a position in a text of any size
};

}  // namespace tarvex
