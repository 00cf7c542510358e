// The register ring, its numbering and its list lines.

#include "registers/register_ring.h"

#include <QTest>

using namespace tarvex;

class TestRegisters final : public QObject {
  Q_OBJECT
 private slots:
  void ring_data();
  void ring();
  void re_number_data();
  void re_number();
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
  // clang-format on
}

void TestRegisters::ring() {
  QFETCH(int, max_index);
  QFETCH(int, count);
  QFETCH(int, last);
  QFETCH(int, full);
  QFETCH(QStringList, first_lines);
  Register r;
  r.reset(max_index);
  for (int i = 0; i < count; ++i) r.register_path(QStringLiteral("/d/f%1").arg(i), false);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  QCOMPARE(r.top_index(), count == 0 ? -1 : qMin(count - 1, max_index));
  QCOMPARE(r.empty(), count == 0);
  // The spare slot after max_index is never written.
  QCOMPARE(r.paths.back(), QString());
  QCOMPARE(r.list_lines().size(), r.top_index() + 1);
  QCOMPARE(r.list_lines().mid(0, 3), first_lines);
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

QTEST_GUILESS_MAIN(TestRegisters)
#include "test_registers.moc"
