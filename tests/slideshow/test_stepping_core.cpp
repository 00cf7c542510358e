// Stepping through a register: the step rule, removing the current entry, the delete command's
// check of the path labels, and the slideshow's prefetch.

#include "pictures/picture_prefetch.h"
#include "registers/entry_removal.h"
#include "registers/register_ring.h"
#include "slideshow/step_rule.h"

#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <thread>

using namespace tarvex;

namespace {

Register filled(int max_index, int count) {
  Register r;
  r.reset(max_index);
  for (int i = 0; i < count; ++i) r.register_path("/d/f" + QString::number(i), false);
  return r;
}

using Steps = QList<int>;

void write_png(const QString& path, QColor colour, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  QVERIFY(QImageWriter(path, "png").write(image));
}

}  // namespace

class TestSteppingCore final : public QObject {
  Q_OBJECT
 private slots:
  void step_rule_data();
  void step_rule();
  void removal_data();
  void removal();
  void prefetch_data();
  void prefetch();
  void prefetch_of_a_phone_photo();
};

void TestSteppingCore::step_rule_data() {
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("start_cur");
  QTest::addColumn<bool>("nav_started");
  QTest::addColumn<QList<int>>("directions");  // 1 forward, 0 backward
  QTest::addColumn<Steps>("visited");
  // clang-format off
  QTest::newRow("forward from a fresh start")  << 5 << 3 << false << QList<int>{1, 1, 1, 1, 1, 1} << Steps{0, 1, 2, 3, 4, 0};
  QTest::newRow("backward from a fresh start") << 5 << 3 << false << QList<int>{0, 0, 0, 0} << Steps{0, 4, 3, 2};
  QTest::newRow("started: forward moves on")   << 5 << 3 << true << QList<int>{1, 1} << Steps{4, 0};
  QTest::newRow("one entry")                   << 1 << 0 << true << QList<int>{1, 0} << Steps{0, 0};
  QTest::newRow("wrapped: slots 0 … 20")       << 27 << 19 << true << QList<int>{1, 1} << Steps{20, 0};
  // clang-format on
}

void TestSteppingCore::step_rule() {
  QFETCH(int, count);
  QFETCH(int, start_cur);
  QFETCH(bool, nav_started);
  QFETCH(QList<int>, directions);
  QFETCH(Steps, visited);
  Register r = filled(20, count);
  r.cur = start_cur;
  Steps seen;
  for (int d : directions) {
    // What the slideshow decodes ahead is where the forward step goes. While a register has
    // wrapped, both cover slots 0 … max_index.
    const int ahead = next_forward_entry(r, nav_started);
    widen_full_register(r);
    step_register(r, nav_started, d == 1 ? StepDirection::Forward : StepDirection::Backward);
    if (d == 1) QCOMPARE(r.cur, ahead);
    seen.append(r.cur);
  }
  QCOMPARE(seen, visited);
  // After widening, the next registration writes slot 0.
  if (count > 21) r.register_path("/d/new", false);
  if (count > 21) QCOMPARE(r.path(0), QString("/d/new"));
}

void TestSteppingCore::removal_data() {
  QTest::addColumn<int>("registrations");
  QTest::addColumn<int>("cur");
  QTest::addColumn<int>("last");
  QTest::addColumn<int>("cur_after");
  QTest::addColumn<QStringList>("listed");
  QStringList wrapped{"f21"};
  for (int i = 2; i <= 20; ++i) wrapped.append(QStringLiteral("f%1").arg(i));
  QStringList twenty;
  for (int i = 0; i <= 19; ++i) twenty.append(QStringLiteral("f%1").arg(i));
  // clang-format off
  QTest::newRow("empty register")                << 0  << 0  << -1 << 0 << QStringList{};
  QTest::newRow("wrapped, f1 removed")           << 22 << 1  << 19 << 1 << wrapped;
  QTest::newRow("21 entries, last slot removed") << 21 << 20 << 19 << 0 << twenty;
  QTest::newRow("newest of three removed")       << 3  << 2  << 1  << -1 << QStringList{"f0", "f1"};
  QTest::newRow("no current entry: nothing")     << 3  << -1 << 2  << -1 << QStringList{"f0", "f1", "f2"};
  QTest::newRow("current past the newest")       << 3  << 5  << 2  << 5  << QStringList{"f0", "f1", "f2"};
  // clang-format on
}

void TestSteppingCore::removal() {
  QFETCH(int, registrations);
  QFETCH(int, cur);
  QFETCH(int, last);
  QFETCH(int, cur_after);
  QFETCH(QStringList, listed);
  Register r = filled(20, registrations);
  r.cur = cur;
  remove_current_entry(r);
  QCOMPARE(r.last, last);
  QVERIFY(!r.full);
  QCOMPARE(r.cur, cur_after);
  QStringList names;
  for (int i = 0; i <= r.top_index(); ++i) names.append(r.path(i).section(u'/', -1));
  QCOMPARE(names, listed);
  // Everything above the listed entries is empty, the spare slot included.
  for (int i = r.top_index() + 1; i < r.paths.size(); ++i) QCOMPARE(r.paths[i], QString());
  // Path labels naming the current entry let it be deleted; empty ones name nothing, not even an
  // empty slot.
  QCOMPARE(labels_name_current_entry(r.path(r.cur), r), !r.path(r.cur).isEmpty());
}

// The look-ahead's slot takes the result of the decode it awaits and hands it over only for the
// same file, unchanged, at the same size. The steps run here in order, as the window's runner runs
// them: the decode started, its job run, its result delivered, then the tick's take.
void TestSteppingCore::prefetch_data() {
  QTest::addColumn<QString>("event");  // what happens once the decode was started
  QTest::addColumn<QString>("taken");
  QTest::addColumn<QSize>("size");  // the decode size asked for
  QTest::addColumn<bool>("handed");
  // clang-format off
  QTest::newRow("unchanged picture")       << ""          << "a.png" << QSize()       << true;
  QTest::newRow("changed since")           << "changed"   << "a.png" << QSize()       << false;
  QTest::newRow("changed while decoding")  << "mid-read"  << "a.png" << QSize()       << false;
  QTest::newRow("another path")            << ""          << "b.png" << QSize()       << false;
  QTest::newRow("another size")            << ""          << "a.png" << QSize(20, 15) << false;
  QTest::newRow("taken while under way")   << "early"     << "a.png" << QSize()       << true;
  QTest::newRow("an older job's end")      << "stale"     << "a.png" << QSize()       << true;
  QTest::newRow("job stopped")             << "stopped"   << "a.png" << QSize()       << false;
  QTest::newRow("dropped")                 << "dropped"   << "a.png" << QSize()       << false;
  // clang-format on
}

void TestSteppingCore::prefetch() {
  QFETCH(QString, event);
  QFETCH(QString, taken);
  QFETCH(QSize, size);
  QFETCH(bool, handed);
  QTemporaryDir dir;
  const QString path = dir.filePath("a.png");
  write_png(path, Qt::red, 64, 48);
  PicturePrefetch prefetch;
  QStringList started;
  prefetch.started = [&](const QString& p) { started << p; };
  if (event == "mid-read") {
    // The file is replaced while the decoder reads it.
    prefetch.decoder = [](const QString& p, QSize s) {
      std::optional<LoadedPicture> picture = load_picture_file(p, s);
      QFile::remove(p);
      write_png(p, Qt::blue, 80, 60);
      return picture;
    };
  }
  auto handoff = std::make_shared<DecodeHandoff>();
  prefetch.expect(path, QSize(), 7, handoff);
  QCOMPARE(started, QStringList{path});
  QVERIFY(prefetch.under_way() && !prefetch.ready() && prefetch.expects(path, QSize()));
  JobControl control(7);
  if (event == "stopped") control.stop();
  if (event == "early") {
    // The tick comes while the decode is under way: it waits for the rest of that decode rather
    // than decoding the file again, and the job's later end changes nothing.
    std::thread late([&] {
      QThread::msleep(30);
      decode_into(prefetch.decoder, path, QSize(), control, *handoff);
    });
    const std::optional<DecodedPicture> p = prefetch.take(path, QSize());
    late.join();
    QVERIFY(p);
    QCOMPARE(p->picture.image.size(), QSize(64, 48));
    prefetch.hold(7);
    QVERIFY(!prefetch.ready() && !prefetch.take(path, QSize()));
    return;
  }
  decode_into(prefetch.decoder, path, QSize(), control, *handoff);
  if (event == "dropped") prefetch.drop();
  // An older job's end leaves the awaited one's picture for the take.
  prefetch.hold(event == "stale" ? 6 : 7);
  if (event == "changed") {
    QVERIFY(prefetch.ready());
    QFile::remove(path);
    write_png(path, Qt::blue, 80, 60);
  }
  const std::optional<DecodedPicture> p = prefetch.take(dir.filePath(taken), size);
  QCOMPARE(p.has_value(), handed);
  if (p) QCOMPARE(p->picture.image.size(), QSize(64, 48));
  // A picture is handed over once; one asked for at another path or size stays for its own.
  const bool kept = !handed && event.isEmpty();
  QCOMPARE(prefetch.take(path, QSize()).has_value(), kept);
}

// The look-ahead decodes a HEIC photo as the window would: whole, with libheif.
void TestSteppingCore::prefetch_of_a_phone_photo() {
  QTemporaryDir dir;
  const QString path = dir.filePath("IMG_0001.HEIC");
  QVERIFY(QFile::copy(QStringLiteral(TARVEX_TEST_DATA_DIR "/picture.heic"), path));
  PicturePrefetch prefetch;
  auto handoff = std::make_shared<DecodeHandoff>();
  prefetch.expect(path, QSize(80, 60), 1, handoff);
  decode_into(prefetch.decoder, path, QSize(80, 60), JobControl(1), *handoff);
  prefetch.hold(1);
  const std::optional<DecodedPicture> p = prefetch.take(path, QSize(80, 60));
  QVERIFY(p);
  QCOMPARE(p->picture.image.size(), QSize(40, 30));
}

QTEST_GUILESS_MAIN(TestSteppingCore)
#include "test_stepping_core.moc"
