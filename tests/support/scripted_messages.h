#pragma once

#include "platform/file_opener.h"
#include "platform/message_box.h"
#include "platform/system_info.h"
#include "platform/system_names.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace tarvex::testing {

// Answers message boxes from a script, in order, and records every text. A box the script does
// not expect, or whose text differs, fails the running test at once (and is answered with OK so
// the code under test can go on); a scripted box that was never shown fails it when the script
// is destroyed.
class ScriptedMessages final : public MessageService {
 public:
  ScriptedMessages() = default;
  ScriptedMessages(const ScriptedMessages&) = delete;
  ScriptedMessages& operator=(const ScriptedMessages&) = delete;
  ~ScriptedMessages() override;

  void expect(const QString& text, MsgAnswer answer = MsgAnswer::Ok) {
    script_.append({text, answer});
  }
  // Runs while a box is open, as the events of a modal box's own loop would.
  std::function<void(const QString& text)> while_open;
  MsgAnswer msgbox(const QString& text, MsgButtons buttons) override;

  QStringList seen;
  QStringList faults;
  QList<MsgButtons> buttons_seen;
  bool done() const { return script_.isEmpty() && faults.isEmpty(); }
  QString report() const;

 private:
  QList<std::pair<QString, MsgAnswer>> script_;
};

class RecordingOpener final : public FileOpener {
 public:
  bool open(const QString& path) override {
    opened.append(path);
    return result;
  }
  QStringList opened;
  bool result = true;  // false: the desktop found nothing to open the file with
};

// Names given by the test; "" stands for a name the system cannot give.
class FixedNames final : public SystemNames {
 public:
  QString user_name() const override { return user; }
  QString computer_name() const override { return computer; }
  QString user, computer;
};

// Counts the starts of the system-information tool and answers with `result`.
class RecordingLauncher final : public SystemInfoLauncher {
 public:
  bool start() override {
    ++starts;
    return result;
  }
  int starts = 0;
  bool result = true;
};

}  // namespace tarvex::testing
