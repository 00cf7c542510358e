#pragma once

#include <QGuiApplication>

// Text and pictures need fonts and image plugins, and those need a GUI application: harnesses
// that draw create one offscreen from LLVMFuzzerInitialize.
inline void start_offscreen_gui_application(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication app(*argc, *argv);
}
