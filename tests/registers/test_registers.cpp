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
  void ring_data();
  void ring();
  void re_number_data();
  void re_number();
  void list_lines_data();
  void list_lines();
};

void TestRegisters::ring_data() {
  QTest::addColumn<int>("max_index");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("last");
  QTest::addColumn<int>("full");
  QTest::addColumn<QStringList>("first_lines");
  // clang-format off
  QTest::newRow("empty")                << 200 << 0  << -1 << 0 << QStringList{};
  QTest::newRow("21 files fill 0..20")  << 20  << 21 << 20 << 0 << QStringList{"000: f0", "001: f1", "002: f2"};
  QTest::newRow("23 registrations")     << 20  << 23 << 1  << 1 << QStringList{"000: f21", "001: f22", "002: f2"};
  QTest::newRow("max 3, five images")   << 3   << 5  << 0  << 1 << QStringList{"000: f4", "001: f1", "002: f2"};
  // clang-format on
}

void TestRegisters::ring() {
  QFETCH(int, max_index);
  QFETCH(int, count);
  QFETCH(int, last);
  QFETCH(int, full);
  QFETCH(QStringList, first_lines);
  const Register r = filled(max_index, count);
  QCOMPARE(r.paths.size(), max_index + 2);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  const int top = count == 0 ? -1 : qMin(count - 1, max_index);
  QCOMPARE(r.top_index(), top);
  QCOMPARE(r.empty(), count == 0);
  // The spare slot after max_index is never written.
  QCOMPARE(r.paths.back(), QString());
  const QStringList lines = r.list_lines();
  QCOMPARE(lines.size(), top + 1);
  QCOMPARE(lines.mid(0, 3), first_lines);
  QCOMPARE(r.path(-1), QString());
  QCOMPARE(r.path(max_index + 300), QString());
  // Undoing a registration puts back every slot and both counters.
  Register again = r;
  again.register_path("/new.bmp", true);
  QVERIFY(again.paths != r.paths);
  again.undo_registration();
  QCOMPARE(again.paths, r.paths);
  QCOMPARE(again.last, r.last);
  QCOMPARE(again.full, r.full);
}

void TestRegisters::re_number_data() {
  QTest::addColumn<int>("number");
  QTest::addColumn<int>("max_index");
  QTest::addColumn<QString>("text");
  // clang-format off
  QTest::newRow("7")          << 7   << 20  << "007";
  QTest::newRow("100 within") << 100 << 100 << "100";
  QTest::newRow("100 beyond") << 100 << 99  << "";
  QTest::newRow("-1")         << -1  << 200 << "";
  // clang-format on
}

void TestRegisters::re_number() {
  QFETCH(int, number);
  QFETCH(int, max_index);
  QFETCH(QString, text);
  QCOMPARE(Re_Number(number, max_index), text);
}

void TestRegisters::list_lines_data() {
  QTest::addColumn<QStringList>("paths");
  QTest::addColumn<QStringList>("lines");
  // clang-format off
  QTest::newRow("picture")             << QStringList{"/pics/cat.bmp"}         << QStringList{"000: cat.bmp"};
  QTest::newRow("no separator")        << QStringList{"cat.bmp"}               << QStringList{"000: "};
  QTest::newRow("ends with separator") << QStringList{"/pics/"}                << QStringList{"000: "};
  QTest::newRow("Japanese")            << QStringList{"/文書/メモ.txt"}         << QStringList{"000: メモ.txt"};
  QTest::newRow("same path twice")     << QStringList{"/a/x.txt", "/a/x.txt"} << QStringList{"000: x.txt", "001: x.txt"};
  // clang-format on
}

void TestRegisters::list_lines() {
  QFETCH(QStringList, paths);
  QFETCH(QStringList, lines);
  Register r;
  r.reset(20);
  for (const QString& p : paths) r.register_path(p, false);
  QCOMPARE(r.list_lines(), lines);
}

QTEST_GUILESS_MAIN(TestRegisters)
#include "test_registers.moc"
