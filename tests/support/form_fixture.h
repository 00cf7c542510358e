#pragma once

#include "app/main_window.h"
#include "scripted_messages.h"

#include <QTemporaryDir>

#include <memory>

namespace tarvex::testing {

// The file-count warning as start-up shows it.
extern const QString kFileCountWarning;

// Builds Form1 in a temporary folder with scripted message boxes and a recording opener.
class FormFixture {
 public:
  FormFixture();

  QString folder() const { return dir_.path(); }
  QString settings_path() const;
  // Writes Tarvex.ini (given as UTF-8 text with "\n" line ends) in code page 932 with CRLF.
  void write_settings(const QString& text) const;
  QByteArray settings_bytes() const;
  // A file in the temporary folder; returns its path.
  QString write_file(const QString& name, const QByteArray& bytes) const;

  // Creates the window; a start without a valid file count expects the warning first.
  Form1& make(bool expect_count_warning);
  Form1& form() { return *form_; }
  void destroy() { form_.reset(); }

  ScriptedMessages messages;
  RecordingOpener opener;
  // The desktop trash the window deletes into; null: the environment's trash.
  Trash* trash = nullptr;
  // About and help: the names, the system-information tool (the recording one unless a test
  // sets another before make()) and the help document's path.
  FixedNames names;
  RecordingLauncher launcher;
  SystemInfoLauncher* sysinfo = &launcher;
  QString help_document;
  // The settings file Tarvex ships; empty: none, as in most tests.
  QString default_settings;

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Form1> form_;
};

}  // namespace tarvex::testing
