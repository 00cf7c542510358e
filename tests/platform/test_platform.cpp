// The platform layer: the classic timer and paths.

#include "platform/classic_timer.h"
#include "platform/paths.h"

#include <QTest>

using namespace tarvex;

class TestPlatform final : public QObject {
  Q_OBJECT
 private slots:
  void timer_refuses_out_of_range_intervals_data();
  void timer_refuses_out_of_range_intervals();
  void timer_ticks_only_when_enabled_with_an_interval();
  void paths_data();
  void paths();
};

void TestPlatform::timer_refuses_out_of_range_intervals_data() {
  QTest::addColumn<long long>("value");
  QTest::addColumn<bool>("taken");
  QTest::addColumn<int>("interval");
  // clang-format off
  QTest::newRow("longest")      << 65535LL << true  << 65535;
  QTest::newRow("one too long") << 65536LL << false << 500;
  QTest::newRow("negative")     << -1LL    << false << 500;
  // clang-format on
}

void TestPlatform::timer_refuses_out_of_range_intervals() {
  QFETCH(long long, value);
  QFETCH(bool, taken);
  QFETCH(int, interval);
  ClassicTimer timer;
  QCOMPARE(timer.set_interval(value), taken);
  QCOMPARE(timer.interval(), interval);
}

// A disabled timer, and an enabled one with an interval of 0, stay silent while a second timer
// of the same interval ticks on.
void TestPlatform::timer_ticks_only_when_enabled_with_an_interval() {
  ClassicTimer timer, clock;
  int ticks = 0, clock_ticks = 0;
  timer.set_handler([&ticks] { ++ticks; });
  clock.set_handler([&clock_ticks] { ++clock_ticks; });
  timer.set_interval(5);
  QTRY_VERIFY(ticks >= 2);
  timer.set_enabled(false);
  const int stopped_at = ticks;
  clock.set_interval(5);
  QTRY_VERIFY(clock_ticks >= 4);
  timer.set_interval(0);
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
