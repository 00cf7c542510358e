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

QString uid() {
  return QString::number(::getuid());
}

}  // namespace

class TestTrash final : public QObject {
  Q_OBJECT
 private slots:
  void file_goes_to_the_home_trash();
  void same_name_twice_gets_two_names();
  void file_on_another_volume_goes_to_its_top_folder_data();
  void file_on_another_volume_goes_to_its_top_folder();
  void no_trash_changes_nothing();
  void real_other_file_system();
  void symbolic_link_goes_itself_not_its_target();
  void refusals_data();
  void refusals();
  void delete_for_good_removes_a_link_not_its_target();
};

void TestTrash::file_goes_to_the_home_trash() {
  QTemporaryDir root;
  const QString path = write(root.path() + "/docs/メモ 1.txt", "hello");
  const Trash trash(config(root.path()));
  const auto id = Trash::identity(path);
  QVERIFY(id.has_value());
  const RemoveResult r = trash.move_to_trash(path, *id);
  QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
  const QString home = root.path() + "/home/.local/share/Trash";
  QCOMPARE(r.trashed_as, home + "/files/メモ 1.txt");
  QVERIFY(!QFileInfo::exists(path));
  QCOMPARE(read(r.trashed_as), QByteArray("hello"));
  const QByteArray info = read(home + "/info/メモ 1.txt.trashinfo");
  QVERIFY(info.startsWith("[Trash Info]\nPath="));
  // The home trash names the original place in full, percent-encoded.
  QVERIFY2(info.contains("Path=" + QUrl::toPercentEncoding(path, "/") + "\n"), info.constData());
  QVERIFY(info.contains("\nDeletionDate=20"));
  QCOMPARE(QFileInfo(home).permissions() & (QFile::ReadOther | QFile::WriteOther),
           QFile::Permissions());
}

void TestTrash::same_name_twice_gets_two_names() {
  QTemporaryDir root;
  const Trash trash(config(root.path()));
  QStringList trashed;
  for (int i = 0; i < 2; ++i) {
    const QString path = write(root.path() + "/a.txt", QByteArray::number(i));
    const RemoveResult r = trash.move_to_trash(path, *Trash::identity(path));
    QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
    trashed.append(r.trashed_as);
  }
  QVERIFY(trashed[0] != trashed[1]);
  QCOMPARE(read(trashed[0]), QByteArray("0"));
  QCOMPARE(read(trashed[1]), QByteArray("1"));
  QVERIFY(QFileInfo::exists(QFileInfo(trashed[1]).absolutePath() + "/../info/" +
                            QFileInfo(trashed[1]).fileName() + ".trashinfo"));
}

void TestTrash::file_on_another_volume_goes_to_its_top_folder_data() {
  QTest::addColumn<bool>("shared_trash");
  QTest::newRow(".Trash-uid") << false;
  QTest::newRow("sticky .Trash/uid") << true;
}

void TestTrash::file_on_another_volume_goes_to_its_top_folder() {
  QFETCH(bool, shared_trash);
  QTemporaryDir root;
  const QString volume = root.path() + "/volume";
  const QString path = write(volume + "/pics/a.bmp", "bmp");
  if (shared_trash) {
    QVERIFY(QDir().mkpath(volume + "/.Trash"));
    QVERIFY(::chmod(QFile::encodeName(volume + "/.Trash").constData(), 01777) == 0);
  }
  const Trash trash(config(root.path()));
  const RemoveResult r = trash.move_to_trash(path, *Trash::identity(path));
  QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
  const QString expected_trash =
      shared_trash ? volume + "/.Trash/" + uid() : volume + "/.Trash-" + uid();
  QCOMPARE(r.trashed_as, expected_trash + "/files/a.bmp");
  QVERIFY(!QFileInfo::exists(path));
  // A volume's own trash names the place relative to the volume's top folder.
  QVERIFY(read(expected_trash + "/info/a.bmp.trashinfo").contains("\nPath=pics/a.bmp\n"));
  QVERIFY(!QFileInfo::exists(root.path() + "/home/.local/share/Trash/files/a.bmp"));
}

void TestTrash::no_trash_changes_nothing() {
  QTemporaryDir root;
  const QString volume = root.path() + "/volume";
  const QString path = write(volume + "/a.txt", "keep");
  // Something that is not a folder stands where the volume's trash would go.
  write(volume + "/.Trash-" + uid(), "not a folder");
  const Trash trash(config(root.path()));
  QCOMPARE(trash.trash_folder_for(path), QString());
  const RemoveResult r = trash.move_to_trash(path, *Trash::identity(path));
  QCOMPARE(int(r.status), int(RemoveResult::Status::NoTrash));
  QCOMPARE(read(path), QByteArray("keep"));
}

// A file on a real second file system (the memory file system /dev/shm), with the volume roots
// of the environment: it goes to that file system's own trash, never across to the home trash.
void TestTrash::real_other_file_system() {
  QTemporaryDir home;
  const QString shm = QStringLiteral("/dev/shm");
  const QString own = shm + "/.Trash-" + uid();
  struct stat a {};
  struct stat b {};
  if (::stat(QFile::encodeName(home.path()).constData(), &a) != 0 ||
      ::stat(QFile::encodeName(shm).constData(), &b) != 0 || a.st_dev == b.st_dev ||
      !QFileInfo(shm).isWritable() || QFileInfo::exists(own) ||
      QFileInfo::exists(shm + "/.Trash")) {
    QSKIP("no separate, unused /dev/shm here");
  }
  QTemporaryDir folder(shm + "/tarvex-trash-XXXXXX");
  const QString path = write(folder.path() + "/a.txt", "shm");
  TrashConfig config = TrashConfig::from_environment();
  config.data_home = home.path() + "/share";
  const Trash trash(config);
  const RemoveResult r = trash.move_to_trash(path, *Trash::identity(path));
  // The trash folder made here is removed again whatever the outcome.
  struct Cleanup {
    QString own;
    ~Cleanup() { QDir(own).removeRecursively(); }
  } cleanup{own};
  QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
  QCOMPARE(r.trashed_as, own + "/files/a.txt");
  QVERIFY(!QFileInfo::exists(path));
  QVERIFY(!QFileInfo::exists(config.data_home + "/Trash/files/a.txt"));
  QVERIFY(read(own + "/info/a.txt.trashinfo")
              .contains("\nPath=" + QUrl::toPercentEncoding(path.mid(shm.size() + 1), "/") + "\n"));
}

void TestTrash::symbolic_link_goes_itself_not_its_target() {
  QTemporaryDir root;
  const QString target = write(root.path() + "/target.txt", "target");
  const QString link = root.path() + "/link.txt";
  QVERIFY(QFile::link(target, link));
  const auto id = Trash::identity(link);
  QVERIFY(id && id->symlink);
  const Trash trash(config(root.path()));
  const RemoveResult r = trash.move_to_trash(link, *id);
  QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
  QVERIFY(!QFileInfo(link).isSymLink() && !QFileInfo::exists(link));
  QCOMPARE(read(target), QByteArray("target"));
  QVERIFY(QFileInfo(r.trashed_as).isSymLink());
}

void TestTrash::refusals_data() {
  QTest::addColumn<QString>("case_name");
  QTest::addColumn<QString>("reason");
  // clang-format off
  QTest::newRow("folder")            << "folder"   << "フォルダは削除できません。";
  QTest::newRow("missing")           << "missing"  << "ファイルが見つかりません。";
  QTest::newRow("replaced file")     << "replaced" << "確認の後でファイルが別のファイルに替わりました。";
  // clang-format on
}

void TestTrash::refusals() {
  QFETCH(QString, case_name);
  QFETCH(QString, reason);
  QTemporaryDir root;
  const QString path = write(root.path() + "/a.txt", "first");
  const FileIdentity id = *Trash::identity(path);
  if (case_name == "folder") {
    QFile::remove(path);
    QVERIFY(QDir().mkpath(path));
  } else if (case_name == "missing") {
    QFile::remove(path);
  } else {
    // Another file now stands at the path (kept alive so its inode differs).
    QVERIFY(QFile::rename(path, root.path() + "/old.txt"));
    write(path, "second");
  }
  const Trash trash(config(root.path()));
  for (const RemoveResult& r : {trash.move_to_trash(path, id), trash.delete_for_good(path, id)}) {
    QCOMPARE(int(r.status), int(RemoveResult::Status::Failed));
    QCOMPARE(r.reason, reason);
  }
  if (case_name == "replaced") QCOMPARE(read(path), QByteArray("second"));
  if (case_name == "folder") QVERIFY(QFileInfo(path).isDir());
}

void TestTrash::delete_for_good_removes_a_link_not_its_target() {
  QTemporaryDir root;
  const QString target = write(root.path() + "/t.txt", "t");
  const QString link = root.path() + "/l.txt";
  QVERIFY(QFile::link(target, link));
  const Trash trash(config(root.path()));
  const RemoveResult r = trash.delete_for_good(link, *Trash::identity(link));
  QCOMPARE(int(r.status), int(RemoveResult::Status::Done));
  QVERIFY(!QFileInfo(link).isSymLink());
  QCOMPARE(read(target), QByteArray("t"));
  QVERIFY(!QFileInfo::exists(root.path() + "/home/.local/share/Trash/files/l.txt"));
}

QTEST_GUILESS_MAIN(TestTrash)
#include "test_trash.moc"
