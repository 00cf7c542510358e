// The platform layer: the classic timer, paths, and which files the readers open.

#include "pictures/picture_loader.h"
#include "platform/classic_timer.h"
#include "platform/paths.h"
#include "platform/regular_file.h"
#include "search/text_search.h"
#include "sheets/sheet_readers.h"
#include "text/text_loader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace tarvex;

class TestPlatform final : public QObject {
  Q_OBJECT
 private slots:
  void timer();
  void paths_data();
  void paths();
  void only_regular_files_are_read_data();
  void only_regular_files_are_read();
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

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
