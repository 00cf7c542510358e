// The desktop trash: where a file goes, its information file, what is refused, and deleting for
// good. The trash folders are temporary folders; a second "file system" is a folder that the
// trash is told is the top of another volume.

#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

using namespace tarvex;

namespace {

QString write(const QString& path, const QByteArray& bytes = "data") {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(bytes);
  return path;
}

QByteArray read(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

// A trash whose home is under `root`/home and for which `root`/volume is another file system.
TrashConfig config(const QString& root) {
  TrashConfig c;
  c.data_home = root + "/home/.local/share";
  const QString volume = root + "/volume";
  c.volume_root = [volume](const QString& path) {
    return path.startsWith(volume) ? volume : QStringLiteral("/");
  };
  return c;
}

}  // namespace

class TestTrash final : public QObject {
  Q_OBJECT
 private slots:
  void trash_place_data();
  void trash_place();
  void refusals_data();
  void refusals();
  void removal_not_confirmed_data();
  void removal_not_confirmed();
};

void TestTrash::trash_place_data() {
  QTest::addColumn<QString>("file");
  QTest::addColumn<QString>("setup");  // "shared": a sticky .Trash; "link": the file is a link
  QTest::addColumn<QString>("trash");
  QTest::addColumn<QString>("info_path");
  // The home trash names the original place in full, percent-encoded ("" here); a volume's own
  // trash names it relative to the volume's top folder.
  // clang-format off
  QTest::newRow("home")              << "docs/メモ 1.txt"  << ""       << "home/.local/share/Trash" << "";
  QTest::newRow("link, home")        << "link.txt"          << "link"   << "home/.local/share/Trash" << "";
  QTest::newRow(".Trash-uid")        << "volume/pics/a.bmp" << ""       << "volume/.Trash-%1"        << "pics/a.bmp";
  QTest::newRow("sticky .Trash/uid") << "volume/pics/a.bmp" << "shared" << "volume/.Trash/%1"        << "pics/a.bmp";
  // clang-format on
}

void TestTrash::trash_place() {
  QFETCH(QString, file);
  QFETCH(QString, setup);
  QFETCH(QString, trash);
  QFETCH(QString, info_path);
  QTemporaryDir root;
  const QString path = root.path() + "/" + file;
  const QString target = root.path() + "/target.txt";
  if (setup == "link") QVERIFY(QFile::link(write(target, "hello"), path));
  if (setup != "link") write(path, "hello");
  if (setup == "shared") {
    const QString shared = root.path() + "/volume/.Trash";
    QVERIFY(QDir().mkpath(shared));
    QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
  }
  const Trash trash_(config(root.path()));
  const RemoveResult r = trash_.move_to_trash(path, *Trash::identity(path));
  QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
  const QString folder = root.path() + "/" + trash.arg(::getuid());
  const QString name = QFileInfo(path).fileName();
  QCOMPARE(r.trashed_as, folder + "/files/" + name);
  QVERIFY(!QFileInfo::exists(path));
  QCOMPARE(read(r.trashed_as), QByteArray("hello"));
  // A link goes itself; its target stays.
  QCOMPARE(QFileInfo(r.trashed_as).isSymLink(), setup == "link");
  QCOMPARE(QFileInfo::exists(target), setup == "link");
  const QByteArray info = read(folder + "/info/" + name + ".trashinfo");
  const QByteArray place =
      info_path.isEmpty() ? QUrl::toPercentEncoding(path, "/") : info_path.toUtf8();
  QVERIFY2(info.startsWith("[Trash Info]\nPath=" + place + "\nDeletionDate=20"), info.constData());
  QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::WriteOther),
           QFile::Permissions());
  // The same name again is kept beside the first under another name.
  write(path, "again");
  const RemoveResult again = trash_.move_to_trash(path, *Trash::identity(path));
  QCOMPARE(read(again.trashed_as), QByteArray("again"));
  QCOMPARE(read(r.trashed_as), QByteArray("hello"));
  QVERIFY(
      QFileInfo::exists(folder + "/info/" + QFileInfo(again.trashed_as).fileName() + ".trashinfo"));
}

// Each row leaves the file at volume/a.txt as it says; nothing is removed.
void TestTrash::refusals_data() {
  QTest::addColumn<QString>("case_name");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("reason");
  const int failed = int(RemoveResult::Status::Failed);
  // clang-format off
  QTest::newRow("folder")        << "folder"   << failed << "フォルダは削除できません。";
  QTest::newRow("missing")       << "missing"  << failed << "ファイルが見つかりません。";
  QTest::newRow("replaced file") << "replaced" << failed << "確認の後でファイルが別のファイルに替わりました。";
  QTest::newRow("no trash")      << "no trash" << int(RemoveResult::Status::NoTrash) << "";
  // clang-format on
}

void TestTrash::refusals() {
  QFETCH(QString, case_name);
  QFETCH(int, status);
  QFETCH(QString, reason);
  QTemporaryDir root;
  const QString path = write(root.path() + "/volume/a.txt", "first");
  const FileIdentity id = *Trash::identity(path);
  if (case_name == "folder") {
    QFile::remove(path);
    QVERIFY(QDir().mkpath(path));
  } else if (case_name == "missing") {
    QFile::remove(path);
  } else if (case_name == "replaced") {
    // Another file now stands at the path (kept alive so its inode differs).
    QVERIFY(QFile::rename(path, root.path() + "/volume/old.txt"));
    write(path, "second");
  } else {
    // Something that is not a folder stands where the volume's trash would go.
    write(root.path() + "/volume/.Trash-" + QString::number(::getuid()), "not a folder");
  }
  const Trash trash(config(root.path()));
  QList<RemoveResult> results{trash.move_to_trash(path, id)};
  // Deleting for good is refused alike, except where only the trash is missing.
  if (case_name != "no trash") results << trash.delete_for_good(path, id);
  for (const RemoveResult& r : results) {
    QCOMPARE(int(r.status), status);
    QCOMPARE(r.reason, reason);
  }
  if (case_name == "replaced") QCOMPARE(read(path), QByteArray("second"));
  if (case_name == "no trash") QCOMPARE(read(path), QByteArray("first"));
  if (case_name == "folder") QVERIFY(QFileInfo(path).isDir());
}

// Another program changes the disk between the move (or the deletion) and its check: the file has
// gone all the same, so the outcome is no failure that "changed nothing" but its own.
void TestTrash::removal_not_confirmed_data() {
  QTest::addColumn<bool>("for_good");
  QTest::addColumn<QString>("meddling");  // what happens right after the file went
  QTest::addColumn<QString>("reason");
  const QString in_place = QStringLiteral("元の場所にまだファイルがあります。");
  // clang-format off
  QTest::newRow("new file at its place")     << false << "new file"   << in_place;
  QTest::newRow("taken out of the trash")    << false << "take file"  << "ゴミ箱の中にファイルが見つかりません。";
  QTest::newRow("information taken away")    << false << "take info"  << "ゴミ箱の情報ファイルが見つかりません。";
  QTest::newRow("for good, new file there")  << true  << "new file"   << in_place;
  // clang-format on
}

void TestTrash::removal_not_confirmed() {
  QFETCH(bool, for_good);
  QFETCH(QString, meddling);
  QFETCH(QString, reason);
  QTemporaryDir root;
  const QString path = write(root.path() + "/docs/a.txt", "first");
  TrashConfig c = config(root.path());
  const QString trash = c.data_home + "/Trash";
  c.after_removal = [&](const QString& removed) {
    QCOMPARE(removed, path);
    if (meddling == "new file") write(path, "second");
    if (meddling == "take file") QVERIFY(QFile::remove(trash + "/files/a.txt"));
    if (meddling == "take info") QVERIFY(QFile::remove(trash + "/info/a.txt.trashinfo"));
  };
  const Trash t(c);
  const FileIdentity id = *Trash::identity(path);
  const RemoveResult r = for_good ? t.delete_for_good(path, id) : t.move_to_trash(path, id);
  QCOMPARE(int(r.status), int(RemoveResult::Status::Unconfirmed));
  QCOMPARE(r.reason, reason);
  QCOMPARE(r.trashed_as, for_good ? QString() : trash + "/files/a.txt");
}

QTEST_GUILESS_MAIN(TestTrash)
#include "test_trash.moc"
