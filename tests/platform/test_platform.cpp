// The platform layer: the classic timer, paths, and which files the readers open.

#include "pictures/picture_loader.h"
#include "platform/classic_timer.h"
#include "platform/job_runner.h"
#include "platform/paths.h"
#include "platform/regular_file.h"
#include "search/text_search.h"
#include "sheets/sheet_readers.h"
#include "text/text_loader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace tarvex;

class TestPlatform final : public QObject {
  Q_OBJECT
 private slots:
  void timer();
  void paths_data();
  void paths();
  void only_regular_files_are_read_data();
  void only_regular_files_are_read();
  void jobs_hand_over_only_the_newest_result_data();
  void jobs_hand_over_only_the_newest_result();
  void a_superseded_job_is_told_to_stop();
  void a_waker_folds_calls_made_while_queued();
  void a_runner_ends_with_its_jobs_stopped();
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

// A named pipe would block every reader in open() until a writer came, and a link to /dev/zero
// would be read for ever: every reader refuses both at once, as it refuses a folder, and reads a
// regular file behind a link.
void TestPlatform::only_regular_files_are_read_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<bool>("read");
  // clang-format off
  QTest::newRow("named pipe")          << "fifo"   << false;
  QTest::newRow("link to /dev/zero")   << "zero"   << false;
  QTest::newRow("folder")              << "folder" << false;
  QTest::newRow("missing")             << "none"   << false;
  QTest::newRow("link to a text file") << "link"   << true;
  // clang-format on
}

void TestPlatform::only_regular_files_are_read() {
  QFETCH(QString, kind);
  QFETCH(bool, read);
  QTemporaryDir dir;
  const QString path = dir.filePath("x.txt");
  QFile plain(dir.filePath("plain.txt"));
  QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("abc") == 3);
  plain.close();
  if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  if (kind == "zero") QVERIFY(QFile::link("/dev/zero", path));
  if (kind == "folder") QVERIFY(QDir().mkdir(path));
  if (kind == "link") QVERIFY(QFile::link(plain.fileName(), path));
  QFile file(path);
  QCOMPARE(open_regular_file(file), read);
  QCOMPARE(file.isOpen(), read);
  QCOMPARE(load_text_file(path).has_value(), read);
  QVERIFY(!load_picture_file(path));  // "abc" is no picture either
  QVERIFY(excel_block_text(path).isEmpty() && lotus_block_text(path).isEmpty());
  const SearchNeedle needle(QStringLiteral("b"));
  QCOMPARE(search_file(needle, path),
           read ? FileSearchResult::Found : FileSearchResult::Unreadable);
}

namespace {

// A job that runs until the test opens the gate or the runner stops it.
int wait_at_gate(const std::atomic<bool>& gate, const JobControl& control, int result) {
  while (!gate && !control.stopped()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return result;
}

}  // namespace

// Of the jobs of one lane, only the newest's result is handed over, and only while no cancel came
// after it; a job that throws hands over no result. Every job's thread is joined afterwards.
void TestPlatform::jobs_hand_over_only_the_newest_result_data() {
  QTest::addColumn<int>("jobs");
  QTest::addColumn<bool>("newest_throws");
  QTest::addColumn<bool>("cancelled");
  QTest::addColumn<QString>("handed_over");  // the deliveries, "3" or "-" for no result
  QTest::newRow("one job") << 1 << false << false << "1";
  QTest::newRow("three jobs, the last wins") << 3 << false << false << "3";
  QTest::newRow("the newest throws") << 2 << true << false << "-";
  QTest::newRow("cancelled") << 2 << false << true << "";
}

void TestPlatform::jobs_hand_over_only_the_newest_result() {
  QFETCH(int, jobs);
  QFETCH(bool, newest_throws);
  QFETCH(bool, cancelled);
  QFETCH(QString, handed_over);
  std::atomic<bool> gate{false};
  QString delivered;
  std::atomic<int> ran{0};
  JobLane lane;
  JobRunner runner;
  for (int i = 1; i <= jobs; ++i) {
    const bool throws = newest_throws && i == jobs;
    runner.start(
        lane,
        [&gate, &ran, i, throws](const JobControl& control) {
          const int result = wait_at_gate(gate, control, i);
          ++ran;
          if (throws) throw std::runtime_error("unreadable");
          return result;
        },
        [&delivered](std::optional<int> result) {
          delivered += result ? QString::number(*result) : QStringLiteral("-");
        });
  }
  QVERIFY(lane.busy());
  if (cancelled) lane.cancel();
  gate = true;
  QTRY_COMPARE(ran.load(), jobs);
  QTRY_COMPARE(runner.threads(), std::size_t{0});
  QCOMPARE(delivered, handed_over);
  QVERIFY(!lane.busy());
}

// Starting a job stops the one under way at once rather than letting it read to its end.
void TestPlatform::a_superseded_job_is_told_to_stop() {
  std::atomic<bool> never{false}, first_stopped{false};
  JobLane lane;
  JobRunner runner;
  const auto first = runner.start(
      lane,
      [&](const JobControl& control) {
        wait_at_gate(never, control, 0);
        first_stopped = control.stopped();
        return 0;
      },
      [](std::optional<int>) { QFAIL("a superseded job's result was handed over"); });
  int second_result = 0;
  const auto second = runner.start(
      lane, [](const JobControl&) { return 2; },
      [&](std::optional<int> result) { second_result = result.value_or(-1); });
  QVERIFY(second > first);
  QTRY_COMPARE(second_result, 2);
  QTRY_VERIFY(first_stopped.load());
  QTRY_COMPARE(runner.threads(), std::size_t{0});
}

// Core work wakes the window through a waker from any thread: each wake is seen, and wakes made
// while one is queued fold into it, so a fast worker cannot flood the window's queue.
void TestPlatform::a_waker_folds_calls_made_while_queued() {
  JobRunner runner;
  int woken = 0;
  std::atomic<int> published{0};
  int seen = 0;
  const std::function<void()> wake = runner.waker([&] {
    ++woken;
    seen = published.load();
  });
  std::thread worker([&] {
    for (int i = 1; i <= 1000; ++i) {
      published = i;
      wake();
    }
  });
  worker.join();
  QTRY_COMPARE(seen, 1000);  // the last publication is always followed by a wake
  QVERIFY2(woken < 1000, qPrintable(QString::number(woken)));
}

// Closing with a job under way stops it and waits for its thread; its result goes nowhere.
void TestPlatform::a_runner_ends_with_its_jobs_stopped() {
  std::atomic<bool> never{false}, stopped{false};
  JobLane lane;
  {
    JobRunner runner;
    runner.start(
        lane,
        [&](const JobControl& control) {
          wait_at_gate(never, control, 0);
          stopped = control.stopped();
          return 0;
        },
        [](std::optional<int>) { QFAIL("handed over after the runner ended"); });
  }
  QVERIFY(stopped.load());
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
