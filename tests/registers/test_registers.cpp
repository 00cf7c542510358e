// The register ring, its numbering and its list lines.

#include "registers/register_ring.h"

#include <QTest>

#include <tuple>

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
  QTest::addColumn<bool>("full");
  QTest::addColumn<QStringList>("first_lines");
  // clang-format off
  QTest::newRow("empty")                << 200 << 0  << -1 << false << QStringList{};
  QTest::newRow("21 files fill 0..20")  << 20  << 21 << 20 << false << QStringList{"000: f0", "001: f1", "002: f2"};
  QTest::newRow("23 registrations")     << 20  << 23 << 1  << true  << QStringList{"000: f21", "001: f22", "002: f2"};
  // clang-format on
}

void TestRegisters::ring() {
  QFETCH(int, max_index);
  QFETCH(int, count);
  QFETCH(int, last);
  QFETCH(bool, full);
  QFETCH(QStringList, first_lines);
  Register r;
  r.reset(max_index);
  for (int i = 0; i < count; ++i) r.register_path(QStringLiteral("/d/f%1").arg(i), false);
  QCOMPARE(r.last, last);
  QCOMPARE(r.full, full);
  // Entries 0 … top_index are listed.
  QCOMPARE(r.list_lines().size(), qMin(count, max_index + 1));
  QCOMPARE(r.list_lines().mid(0, 3), first_lines);
  // Undoing a registration puts back every slot and both counters.
  Register again = r;
  again.register_path("/new.bmp", true);
  again.undo_registration();
  QCOMPARE(std::tuple(again.paths, again.last, again.full), std::tuple(r.paths, r.last, r.full));
}

void TestRegisters::re_number_data() {
  QTest::addColumn<int>("number");
  QTest::addColumn<int>("max_index");
  QTest::addColumn<QString>("text");
  // clang-format off
  QTest::newRow("42")         << 42  << 200 << "042";
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
