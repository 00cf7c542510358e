#include "scripted_messages.h"

namespace tarvex::testing {

int ScriptedMessages::msgbox(const QString& text, MsgButtons buttons) {
  seen.append(text);
  buttons_seen.append(buttons);
  if (while_open) while_open(text);
  if (script_.isEmpty()) {
    faults.append(QStringLiteral("unexpected message: ") + text);
    return kAnswerOk;
  }
  const auto [expected, answer] = script_.takeFirst();
  if (expected != text) {
    faults.append(QStringLiteral("message text differs:\n got: %1\nwant: %2").arg(text, expected));
  }
  return answer;
}

QString ScriptedMessages::report() const {
  QStringList lines = faults;
  for (const auto& [text, answer] : script_) lines.append(QStringLiteral("not shown: ") + text);
  return lines.join(u'\n');
}

}  // namespace tarvex::testing
