#pragma once

#include "platform/file_opener.h"
#include "platform/message_box.h"
#include "platform/system_info.h"
#include "platform/system_names.h"

#include <QList>
#include <QStringList>

namespace tarvex::testing {

// Answers message boxes from a script, in order, and records every text. A box the script does
// not expect, or whose text differs, is recorded as a fault and answered with OK.
class ScriptedMessages final : public MessageService {
 public:
  void expect(const QString& text, int answer = kAnswerOk) { script_.append({text, answer}); }
  int msgbox(const QString& text, MsgButtons buttons) override;

  QStringList seen;
  QStringList faults;
  QList<MsgButtons> buttons_seen;
  bool done() const { return script_.isEmpty() && faults.isEmpty(); }
  QString report() const;

 private:
  QList<std::pair<QString, int>> script_;
};

class RecordingOpener final : public FileOpener {
 public:
  void open(const QString& path) override { opened.append(path); }
  QStringList opened;
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
