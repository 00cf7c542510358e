// The platform layer: the classic timer and paths.

#include "platform/classic_timer.h"
#include "platform/paths.h"

#include <QTest>

using namespace tarvex;

class TestPlatform final : public QObject {
  Q_OBJECT
 private slots:
  void timer();
  void paths_data();
  void paths();
};

// Intervals outside 0 … 65535 ms are refused and leave the interval as it was. A disabled timer,
// and an enabled one with an interval of 0, stay silent while a second timer ticks on.
void TestPlatform::timer() {
  ClassicTimer timer, clock;
  QVERIFY(timer.set_interval(65535) && !timer.set_interval(65536) && !timer.set_interval(-1));
  QCOMPARE(timer.interval(), 65535);
  int ticks = 0, clock_ticks = 0;
  timer.set_handler([&ticks] { ++ticks; });
  clock.set_handler([&clock_ticks] { ++clock_ticks; });
  timer.set_interval(5);
  QTRY_VERIFY(ticks >= 2);
  timer.set_enabled(false);
  const int stopped_at = ticks;
  clock.set_interval(5);
  QTRY_VERIFY(clock_ticks >= 4);
  QVERIFY(timer.set_interval(0));
  timer.set_enabled(true);
  QTRY_VERIFY(clock_ticks >= 8);
  QCOMPARE(ticks, stopped_at);
}

// Joining a folder and a name, and taking the name back from the path.
void TestPlatform::paths_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("path");
  // clang-format off
  QTest::newRow("folder")     << "/home/ann" << "a.txt" << "/home/ann/a.txt";
  QTest::newRow("root")       << "/"         << "a.txt" << "/a.txt";
  QTest::newRow("empty name") << "/tmp"      << ""      << "/tmp/";
  // clang-format on
}

void TestPlatform::paths() {
  QFETCH(QString, folder);
  QFETCH(QString, name);
  QFETCH(QString, path);
  QCOMPARE(join_path(folder, name), path);
  QCOMPARE(file_name_part(path), name);
  // A path without a separator has no name part.
  QCOMPARE(file_name_part(name), QString());
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
