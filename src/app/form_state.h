#pragma once

#include "registers/register_ring.h"
#include "settings/extension_table.h"

#include <QString>

namespace tarvex {

// The form-level variables of the main window. Everything starts at 0 or "" until start-up.
struct FormState {
  // Shell.
  int msg_answer = 0;    // answer of the last message box, result of the last form function
  int popup_source = 0;  // 1 file box, 2 search-hit list, 3 a pane; 0 after the file box's menu
  int layout_done = 0;   // a layout pass has completed

  // Settings.
  ExtensionTable search_exts, lotus_exts, excel_exts;
  ExtensionTable image_exts;  // picture formats added by the settings file, read at start-up

  // Registers.
  Register img, txt;
  int img_found = 0, txt_found = 0;

  // Spreadsheet preview: 0 none, 1 Lotus 1-2-3, 2 Excel.
  int sheet_app = 0;
  QString sheet_file;
  int excel_hit = 0, lotus_hit = 0;

  // Continuous display and navigation.
  int img_paused = 0, txt_paused = 0;
  int img_nav_started = 0, txt_nav_started = 0;
  int notice_count = 0;

  // Text pane.
  QString sel_text;

  // Search.
  QString search_text, hit_path;
  int search_mode = 0;
  QString search_buffer;
  int hit_len = 0, hit_pos = 0, search_ready = 0;
};

}  // namespace tarvex
