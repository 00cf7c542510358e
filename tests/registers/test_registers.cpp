// The register ring, its numbering and its list lines.

#include "registers/register_ring.h"

#include <QTest>

using namespace tarvex;

namespace {

Register filled(int max_index, int count) {
  Register r;
  r.reset(max_index);
  for (int i = 0; i < count; ++i) r.register_path(QStringLiteral("/d/f%1").arg(i), false);
  return r;
}

}  // namespace

class TestRegisters final : public QObject {
  Q_OBJECT
 private slots:
  void start_state();
  void ring_data();
  void ring();
  void list_lines_after_wrap();
  void undo_restores_everything_data();
  void undo_restores_everything();
  void same_path_twice();
  void re_number_data();
  void re_number();
  void file_names_data();
  void file_names();
};

void TestRegisters::start_state() {
  Register r;
  r.reset(200);
  QCOMPARE(r.paths.size(), 202);
  QCOMPARE(r.last, -1);
  QCOMPARE(r.full, 0);
  QCOMPARE(r.top_index(), -1);
  QVERIFY(r.empty());
  QVERIFY(r.list_lines().isEmpty());
  QCOMPARE(r.path(-1), QString());
  QCOMPARE(r.path(500), QString());
}

void TestRegisters::ring_data() {
  QTest::addColumn<int>("max_index");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("last");
  QTest::addColumn<int>("full");
  QTest::addColumn<int>("top");
  QTest::addColumn<QStringList>("first_slots");
  QTest::newRow("21 files fill 0..20")
      << 20 << 21 << 20 << 0 << 20 << QStringList{"/d/f0", "/d/f1", "/d/f2"};
  QTest::newRow("22nd wraps to slot 0")
      << 20 << 22 << 0 << 1 << 20 << QStringList{"/d/f21", "/d/f1", "/d/f2"};
  QTest::newRow("23 registrations")
      << 20 << 23 << 1 << 1 << 20 << QStringList{"/d/f21", "/d/f22", "/d/f2"};
  QTest::newRow("max 3, five images")
      << 3 << 5 << 0 << 1 << 3 << QStringList{"/d/f4", "/d/f1", "/d/f2"};
}

void TestRegisters::ring() {
  QFETCH(int, max_index);
  QFETCH(int, count);
  QFETCH(int, last);
  QFETCH(int, full);
  QFETCH(int, top);
  QFETCH(QStringList, first_slots);
  const Register r = filled(max_index, count);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  QCOMPARE(r.top_index(), top);
  QCOMPARE(r.paths.mid(0, 3), first_slots);
  // The spare slot after max_index is never written.
  QCOMPARE(r.paths.back(), QString());
  QCOMPARE(r.list_lines().size(), top + 1);
}

void TestRegisters::list_lines_after_wrap() {
  const Register r = filled(20, 23);
  const QStringList lines = r.list_lines();
  QCOMPARE(lines.size(), 21);
  QCOMPARE(lines[0], QString("000: f21"));
  QCOMPARE(lines[1], QString("001: f22"));
  QCOMPARE(lines[2], QString("002: f2"));
  QCOMPARE(lines[20], QString("020: f20"));
}

void TestRegisters::undo_restores_everything_data() {
  QTest::addColumn<int>("before");
  QTest::newRow("empty register") << 0;
  QTest::newRow("middle") << 2;
  QTest::newRow("at the wrap") << 4;
  QTest::newRow("after the wrap") << 6;
}

void TestRegisters::undo_restores_everything() {
  QFETCH(int, before);
  Register r = filled(3, before);
  const Register copy = r;
  r.register_path("/new.bmp", true);
  QVERIFY(r.paths != copy.paths);
  r.undo_registration();
  QCOMPARE(r.paths, copy.paths);
  QCOMPARE(r.last, copy.last);
  QCOMPARE(r.full, copy.full);
}

void TestRegisters::same_path_twice() {
  Register r;
  r.reset(20);
  r.register_path("/a/x.txt", false);
  r.register_path("/a/x.txt", false);
  QCOMPARE(r.list_lines(), (QStringList{"000: x.txt", "001: x.txt"}));
}

void TestRegisters::re_number_data() {
  QTest::addColumn<int>("number");
  QTest::addColumn<int>("max_index");
  QTest::addColumn<QString>("text");
  QTest::newRow("0") << 0 << 20 << "000";
  QTest::newRow("7") << 7 << 20 << "007";
  QTest::newRow("99") << 99 << 20 << "099";
  QTest::newRow("100 within") << 100 << 100 << "100";
  QTest::newRow("100 beyond") << 100 << 99 << "";
  QTest::newRow("500") << 500 << 500 << "500";
  QTest::newRow("-1") << -1 << 200 << "";
}

void TestRegisters::re_number() {
  QFETCH(int, number);
  QFETCH(int, max_index);
  QFETCH(QString, text);
  QCOMPARE(Re_Number(number, max_index), text);
}

void TestRegisters::file_names_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("line");
  QTest::newRow("picture") << "/pics/cat.bmp"
                           << "000: cat.bmp";
  QTest::newRow("no separator") << "cat.bmp"
                                << "000: ";
  QTest::newRow("ends with separator") << "/pics/"
                                       << "000: ";
  QTest::newRow("Japanese") << "/文書/メモ.txt"
                            << "000: メモ.txt";
}

void TestRegisters::file_names() {
  QFETCH(QString, path);
  QFETCH(QString, line);
  Register r;
  r.reset(20);
  r.register_path(path, false);
  QCOMPARE(r.list_lines(), QStringList{line});
}

QTEST_GUILESS_MAIN(TestRegisters)
#include "test_registers.moc"
