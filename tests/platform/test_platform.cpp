// The platform layer: the classic timer and paths.

#include "platform/classic_timer.h"
#include "platform/paths.h"

#include <QSignalSpy>
#include <QTest>

using namespace tarvex;

class TestPlatform final : public QObject {
  Q_OBJECT
 private slots:
  void timer_refuses_out_of_range_intervals_data();
  void timer_refuses_out_of_range_intervals();
  void timer_ticks_only_when_enabled_with_an_interval();
  void join_path_data();
  void join_path();
};

void TestPlatform::timer_refuses_out_of_range_intervals_data() {
  QTest::addColumn<long long>("value");
  QTest::addColumn<bool>("taken");
  QTest::addColumn<int>("interval");
  QTest::newRow("zero") << 0LL << true << 0;
  QTest::newRow("half second") << 500LL << true << 500;
  QTest::newRow("longest") << 65535LL << true << 65535;
  QTest::newRow("one too long") << 65536LL << false << 500;
  QTest::newRow("seventy seconds") << 70000LL << false << 500;
  QTest::newRow("negative") << -1LL << false << 500;
}

void TestPlatform::timer_refuses_out_of_range_intervals() {
  QFETCH(long long, value);
  QFETCH(bool, taken);
  QFETCH(int, interval);
  ClassicTimer timer;
  QCOMPARE(timer.interval(), 500);
  QCOMPARE(timer.set_interval(value), taken);
  QCOMPARE(timer.interval(), interval);
}

void TestPlatform::timer_ticks_only_when_enabled_with_an_interval() {
  ClassicTimer timer;
  int ticks = 0;
  timer.set_handler([&ticks] { ++ticks; });
  timer.set_interval(5);
  QTRY_VERIFY(ticks >= 2);
  timer.set_enabled(false);
  const int stopped_at = ticks;
  QTest::qWait(40);
  QCOMPARE(ticks, stopped_at);
  // An interval of 0 never fires, even while enabled.
  timer.set_interval(0);
  timer.set_enabled(true);
  QTest::qWait(40);
  QCOMPARE(ticks, stopped_at);
}

void TestPlatform::join_path_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("path");
  QTest::newRow("folder") << "/home/ann"
                          << "a.txt"
                          << "/home/ann/a.txt";
  QTest::newRow("root") << "/"
                        << "a.txt"
                        << "/a.txt";
  QTest::newRow("trailing separator") << "/tmp/"
                                      << "a.txt"
                                      << "/tmp/a.txt";
  QTest::newRow("empty name") << "/tmp"
                              << ""
                              << "/tmp/";
}

void TestPlatform::join_path() {
  QFETCH(QString, folder);
  QFETCH(QString, name);
  QFETCH(QString, path);
  QCOMPARE(tarvex::join_path(folder, name), path);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
