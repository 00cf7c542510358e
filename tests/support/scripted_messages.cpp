#include "scripted_messages.h"

#include <QTest>

namespace tarvex::testing {

namespace {

void fail_test(const QString& why) {
  QTest::qFail(qPrintable(why), __FILE__, __LINE__);
}

}  // namespace

ScriptedMessages::~ScriptedMessages() {
  for (const auto& [text, answer] : script_)
    fail_test(QStringLiteral("message not shown: ") + text);
}

MsgAnswer ScriptedMessages::msgbox(const QString& text, MsgButtons buttons) {
  seen.append(text);
  buttons_seen.append(buttons);
  if (while_open) while_open(text);
  if (script_.isEmpty()) {
    faults.append(QStringLiteral("unexpected message: ") + text);
    fail_test(faults.back());
    return MsgAnswer::Ok;
  }
  const auto [expected, answer] = script_.takeFirst();
  if (expected != text) {
    faults.append(QStringLiteral("message text differs:\n got: %1\nwant: %2").arg(text, expected));
    fail_test(faults.back());
  }
  return answer;
}

QString ScriptedMessages::report() const {
  QStringList lines = faults;
  for (const auto& [text, answer] : script_) lines.append(QStringLiteral("not shown: ") + text);
  return lines.join(u'\n');
}

}  // namespace tarvex::testing
