// The settings file: the profile reader and writer, the value conversions and the settings
// folder.

#include "comma_locale.h"
#include "platform/atomic_file.h"
#include "platform/settings_folder.h"
#include "platform/text_codecs.h"
#include "settings/conversions.h"
#include "settings/default_settings.h"
#include "settings/profile.h"
#include "settings/setting_keys.h"
#include "settings/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <cerrno>
#include <csignal>
#include <memory>

using namespace tarvex;

namespace {

QByteArray read_all(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

[[nodiscard]] bool write_all(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace

class TestSettings final : public QObject {
  Q_OBJECT
  // Every test here runs under a locale with a decimal comma: the settings file keeps its full
  // stop whatever the user's locale is.
  std::unique_ptr<testing::CommaLocale> comma_;

 private slots:
  void initTestCase();
  void read_data();
  void read();
  void write_edits_in_place_data();
  void write_edits_in_place();
  void many_values_in_one_write_data();
  void many_values_in_one_write();
  void failed_write_leaves_old_file();
  void write_keeps_protection_and_links();
  void conversions_data();
  void conversions();
  void settings_folder();
  void shipped_settings_data();
  void shipped_settings();
  void first_start_copies_the_shipped_file_data();
  void first_start_copies_the_shipped_file();
};

void TestSettings::initTestCase() {
  comma_ = std::make_unique<testing::CommaLocale>();
  QVERIFY2(comma_->active(), qPrintable(comma_->why()));
}

void TestSettings::read_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("expected");
  const QByteArray a1022(1022, 'a'), a1021(1021, 'a');
  // clang-format off
  QTest::newRow("names ignore case") << encode_cp932("[Sec]\r\nKey=Val\r\n") << "sEC" << "kEY" << "Val";
  QTest::newRow("blanks and rest of header") << encode_cp932("  \t[ \tS\t ] junk]\r\nk=v\r\n") << "S" << "k" << "v";
  QTest::newRow("blanks around key and value") << encode_cp932("[S]\r\n \t k \v= \t v \v\r\n") << "S" << "k" << "v";
  QTest::newRow("double quotes removed") << encode_cp932("[S]\r\nk=\"  v  \"\r\n") << "S" << "k" << "  v  ";
  QTest::newRow("indented comment") << encode_cp932("[S]\r\n  ;k=v\r\n") << "S" << ";k" << "";
  // ー is 81 5B, ‐ 81 5D, 表 95 5C and ソ 83 5C: trail bytes equal to brackets and backslash.
  QTest::newRow("trail bytes like brackets, backslash") << encode_cp932("[ー‐]\r\n表=ソ\\\r\n") << "ー‐" << "表" << "ソ\\";
  // Values are cut to 1023 bytes; a two-byte character across the cut loses its lead byte.
  QTest::newRow("cp932 pair across cut") << "[S]\r\nk=" + a1022 + encode_cp932("あい") << "S" << "k" << QString(1022, u'a');
  QTest::newRow("cp932 pair before cut") << "[S]\r\nk=" + a1021 + encode_cp932("あい") << "S" << "k" << QString(1021, u'a') + "あ";
  QTest::newRow("utf8 character across cut") << "[S]\r\nk=" + a1021 + QString("あ").toUtf8() << "S" << "k" << QString(1021, u'a');
  QTest::newRow("utf8 with mark") << "\xEF\xBB\xBF" + QString("[表示]\r\n表=*.txt\r\n").toUtf8() << "表示" << "表" << "*.txt";
  // clang-format on
}

void TestSettings::read() {
  QFETCH(QByteArray, file);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(path, file));
  QCOMPARE(profile_read(path, section, key), expected);
}

void TestSettings::write_edits_in_place_data() {
  QTest::addColumn<QByteArray>("before");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<QByteArray>("after");
  const QByteArray keep = encode_cp932("; comment\r\n\r\n[Other]\r\nx = 1 \r\n\r\n[S]\r\n");
  // Bytes no table maps (a lone 0xA0, unassigned pairs) survive an edit elsewhere.
  const QByteArray odd("[S]\r\nx=\xA0\x87\x40\xFA\x40\xEF\x40\r\n");
  const QByteArray bom("\xFF\xFE");
  // clang-format off
  QTest::newRow("value replaced, spacing kept") << keep + "k = old\r\nm=2\r\n" << "S" << "k" << "new" << keep + "k = new\r\nm=2\r\n";
  QTest::newRow("new key after the last key") << encode_cp932("[S]\r\na=1\r\n\r\n;note\r\n[T]\r\n") << "S" << "b" << "2" << encode_cp932("[S]\r\na=1\r\nb=2\r\n\r\n;note\r\n[T]\r\n");
  QTest::newRow("file without final line end") << encode_cp932("[S]\r\na=1") << "T" << "b" << "2" << encode_cp932("[S]\r\na=1\r\n[T]\r\nb=2\r\n");
  QTest::newRow("section without final line end") << encode_cp932("[S]") << "S" << "b" << "2" << encode_cp932("[S]\r\nb=2\r\n");
  QTest::newRow("only the first duplicate changes") << encode_cp932("[S]\r\nk=1\r\nk=2\r\n") << "S" << "k" << "3" << encode_cp932("[S]\r\nk=3\r\nk=2\r\n");
  QTest::newRow("unmapped bytes kept") << odd + encode_cp932("[表示時間]\r\nイメージ=5\r\n") << "表示時間" << "イメージ" << "7" << odd + encode_cp932("[表示時間]\r\nイメージ=7\r\n");
  QTest::newRow("utf8 stays utf8") << QString("[表示属性]\nアーカイブ=True\n").toUtf8() << "表示属性" << "隠しファイル" << "False" << QString("[表示属性]\nアーカイブ=True\n隠しファイル=False\n").toUtf8();
  QTest::newRow("utf16 stays utf16") << bom + encode_utf16le("[表示属性]\r\nアーカイブ=True\r\n") << "表示属性" << "アーカイブ" << "False" << bom + encode_utf16le("[表示属性]\r\nアーカイブ=False\r\n");
  // A value never spans lines: a pasted line break cannot add keys or sections.
  QTest::newRow("line feed file stays line feed") << encode_cp932("[S]\na=1\n") << "S" << "b" << "2" << encode_cp932("[S]\na=1\nb=2\n");
  QTest::newRow("line breaks in a value") << encode_cp932("[S]\r\nk=1\r\n") << "S" << "k" << "a\r\n[T]\r\nx=1" << encode_cp932("[S]\r\nk=a  [T]  x=1\r\n");
  QTest::newRow("line feed in a new key") << encode_cp932("[S]\r\n") << "S" << "b" << "1\n[T]\rc" << encode_cp932("[S]\r\nb=1 [T] c\r\n");
  // clang-format on
}

void TestSettings::write_edits_in_place() {
  QFETCH(QByteArray, before);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(QByteArray, after);
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(path, before));
  QVERIFY(profile_write(path, section, key, value));
  QCOMPARE(read_all(path), after);
  QCOMPARE(profile_read(path, section, key), QString(value).replace('\r', ' ').replace('\n', ' '));
}

// Many values set in one write leave the bytes that setting them one write at a time leaves,
// whatever the file was: so shutdown and the options dialog can store all their values at once.
void TestSettings::many_values_in_one_write_data() {
  QTest::addColumn<QByteArray>("before");  // empty: no file yet
  const QByteArray bom("\xFF\xFE");
  // clang-format off
  QTest::newRow("no file yet")         << QByteArray();
  QTest::newRow("ascii only")          << QByteArray("; mine\r\n[Other]\r\nx=1\r\n");
  QTest::newRow("code page 932")       << encode_cp932("[表示時間]\r\nイメージ = 5 \r\n\r\n[表示属性]\r\nアーカイブ=True");
  QTest::newRow("utf-8 with line feeds") << QString("[表示属性]\n隠しファイル=True\n").toUtf8();
  QTest::newRow("utf-16")              << bom + encode_utf16le("[検索拡張子]\r\n拡張子0=.txt\r\n");
  // clang-format on
}

void TestSettings::many_values_in_one_write() {
  QFETCH(QByteArray, before);
  const QList<ProfileEdit> edits = {
      {"アプリケーションの選択", "アプリケーション名", "excel"},
      {"表示属性", "アーカイブ", "False"},
      {"表示属性", "表示ファイル", "*.*"},
      {"検索拡張子", "拡張子0", ".txt"},
      {"検索拡張子", "拡張子1", ""},
      {"表示時間", "テキスト", "0.5"},
      {"表示時間", "イメージ", "5"},
      {"ファイルの削除", "ファイルの削除", "1"},
  };
  QTemporaryDir dir;
  const QString once = dir.filePath("once.ini");
  const QString one_by_one = dir.filePath("one_by_one.ini");
  if (!before.isEmpty()) QVERIFY(write_all(once, before) && write_all(one_by_one, before));
  QVERIFY(profile_write_values(once, edits).ok());
  for (const ProfileEdit& e : edits) QVERIFY(profile_write(one_by_one, e.section, e.key, e.value));
  QCOMPARE(read_all(once), read_all(one_by_one));
  QCOMPARE(profile_read(once, "表示時間", "テキスト"), QString("0.5"));
}

void TestSettings::failed_write_leaves_old_file() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  const QByteArray old = encode_cp932("[表示時間]\r\nイメージ=5\r\n");
  QVERIFY(write_all(path, old));
  // A file-size limit makes the write of the new file fail part-way, as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  const WriteResult written =
      profile_write_values(path, {{"表示時間", "テキスト", QString(200, u'x')}});
  setrlimit(RLIMIT_FSIZE, &saved);
  QCOMPARE(written.error, EFBIG);
  QCOMPARE(read_all(path), old);
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Tarvex.ini"});
}

void TestSettings::write_keeps_protection_and_links() {
  QTemporaryDir dir;
  const QByteArray old = encode_cp932("[表示時間]\r\nイメージ=5\r\n");
  // A file the user made read-only is not replaced, even by the superuser the tests run as.
  const QString locked = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(locked, old));
  QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  QCOMPARE(profile_write_values(locked, {{"表示時間", "イメージ", "7"}}).error, EACCES);
  QCOMPARE(read_all(locked), old);
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Tarvex.ini"});
  // A link stays a link; the file it leads to gets the value, its temporary file beside it.
  QVERIFY(QDir(dir.path()).mkpath("real") && QDir(dir.path()).mkpath("app"));
  const QString target = dir.filePath("real/settings.ini");
  QVERIFY(write_all(target, old));
  const QString link = dir.filePath("app/Tarvex.ini");
  QVERIFY(QFile::link("../real/settings.ini", link));
  QVERIFY(profile_write(link, "表示時間", "イメージ", "7"));
  QVERIFY(QFileInfo(link).isSymLink());
  QCOMPARE(read_all(target), encode_cp932("[表示時間]\r\nイメージ=7\r\n"));
  QCOMPARE(QDir(dir.filePath("app")).entryList(QDir::Files | QDir::System),
           QStringList{"Tarvex.ini"});
  QCOMPARE(QDir(dir.filePath("real")).entryList(QDir::Files), QStringList{"settings.ini"});
  // A link to a file not made yet creates that file; a link loop writes nothing.
  const QString ahead = dir.filePath("app/ahead.ini");
  QVERIFY(QFile::link(dir.filePath("real/new.ini"), ahead));
  QVERIFY(profile_write(ahead, "S", "k", "v"));
  QVERIFY(QFileInfo(ahead).isSymLink());
  QCOMPARE(profile_read(dir.filePath("real/new.ini"), "S", "k"), QString("v"));
  QVERIFY(QFile::link(dir.filePath("app/loop.ini"), dir.filePath("app/loop.ini")));
  QCOMPARE(profile_write_values(dir.filePath("app/loop.ini"), {{"S", "k", "v"}}).error, ELOOP);
}

// One setting text through each conversion; the decimal form is that of its leading number.
void TestSettings::conversions_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<double>("leading");
  QTest::addColumn<QString>("decimal");
  QTest::addColumn<int>("truth");  // 1 true, 0 false, -1 none
  QTest::addColumn<int>("whole");  // -99999: none
  QTest::addColumn<int>("files");  // -1: the fallback of 200, with the warning
  // clang-format off
  QTest::newRow("empty")             << ""       << 0.0     << "0"      << -1 << -99999 << -1;
  QTest::newRow("blanks around")     << " 300 "  << 300.0   << "300"    << 1  << 300    << 300;
  QTest::newRow("rounds into range") << "19.5"   << 19.5    << "19.5"   << 1  << 20     << 20;
  QTest::newRow("below the range")   << "19"     << 19.0    << "19"     << 1  << 19     << -1;
  QTest::newRow("above the range")   << "501"    << 501.0   << "501"    << 1  << 501    << -1;
  QTest::newRow("beyond 16 bits")    << "99999"  << 99999.0 << "99999"  << 1  << -99999 << -1;
  QTest::newRow("zero")              << "0"      << 0.0     << "0"      << 0  << 0      << -1;
  QTest::newRow("exponent")          << "1e2"    << 100.0   << "100"    << 1  << 100    << 100;
  QTest::newRow("dangling exponent") << "1e"     << 1.0     << "1"      << -1 << -99999 << -1;
  QTest::newRow("number then text")  << "+7x"    << 7.0     << "7"      << -1 << -99999 << -1;
  QTest::newRow("truth any case")    << " tRuE " << 0.0     << "0"      << 1  << -99999 << -1;
  QTest::newRow("full-width digit")  << "５"      << 0.0     << "0"      << -1 << -99999 << -1;
  // clang-format on
}

void TestSettings::conversions() {
  QFETCH(QString, text);
  QFETCH(double, leading);
  QFETCH(QString, decimal);
  QFETCH(int, truth);
  QFETCH(int, whole);
  QFETCH(int, files);
  QCOMPARE(leading_number(text), leading);
  QCOMPARE(shortest_decimal(leading_number(text)), decimal);
  const std::optional<bool> t = truth_value(text);
  QCOMPARE(t.has_value() ? int(*t) : -1, truth);
  QCOMPARE(whole_number(text).value_or(-99999), whole);
  const FileCount count = file_count(text);
  QCOMPARE(count.max_index, files < 0 ? 200 : files);
  QCOMPARE(count.out_of_range, files < 0);
}

// The folder chosen for the settings; a new file there, in a folder not made yet, is code page
// 932 with CR LF line ends.
void TestSettings::settings_folder() {
  QTemporaryDir dir;
  QCOMPARE(choose_settings_folder(dir.path(), "/home/u/.config"), dir.path());
  QCOMPARE(choose_settings_folder("/usr/bin", "/home/u/.config"),
           QString("/home/u/.config/Tarvex"));
  QCOMPARE(choose_settings_folder(dir.filePath("missing"), "/cfg"), QString("/cfg/Tarvex"));
  SettingsFile settings(dir.filePath("config/Tarvex"));
  QCOMPARE(settings.ini_read("表示時間", "イメージ"), QString());
  QVERIFY(settings.ini_write("表示時間", "イメージ", "5"));
  QCOMPARE(settings.path(), dir.filePath("config/Tarvex/Tarvex.ini"));
  QCOMPARE(read_all(settings.path()), encode_cp932("[表示時間]\r\nイメージ=5\r\n"));
}

// The settings file Tarvex ships: code page 932 with CR LF line ends, and the values a new user is
// served by.
void TestSettings::shipped_settings_data() {
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  const auto slot = [](const char* section, int i, const char* value) {
    QTest::addRow("%s %d", section, i)
        << QString::fromUtf8(section) << keys::slot_key(i) << QString::fromUtf8(value);
  };
  int i = 0;
  for (const char* ext : {".txt", ".ini", ".csv", ".log", ".htm", ".xml", "html", ""})
    slot("検索拡張子", i++, ext);
  i = 0;
  for (const char* ext : {"wk1", "wk3", "wk4", "123", ""}) slot("1-2-3拡張子", i++, ext);
  i = 0;
  for (const char* ext : {"xls", "lsx", "ods", ""}) slot("Excel拡張子", i++, ext);
  i = 0;
  for (const char* ext : {"png", "jpeg", "tif", "tiff", "webp", "svg", "heic", "heif", "avif", ""})
    slot("イメージ拡張子", i++, ext);
  // clang-format off
  QTest::newRow("file count")   << "最大ファイル数" << "ファイル数" << "200";
  QTest::newRow("image time")   << "表示時間" << "イメージ" << "5";
  QTest::newRow("text time")    << "表示時間" << "テキスト" << "10";
  QTest::newRow("archive")      << "表示属性" << "アーカイブ" << "True";
  QTest::newRow("hidden")       << "表示属性" << "隠しファイル" << "False";
  QTest::newRow("read-only")    << "表示属性" << "読みとり専用" << "True";
  QTest::newRow("system")       << "表示属性" << "システム" << "False";
  QTest::newRow("pattern")      << "表示属性" << "表示ファイル" << "*.*";
  QTest::newRow("application")  << "アプリケーションの選択" << "アプリケーション名" << "excel";
  QTest::newRow("fit")          << "イメージの表示を枠にあわせる" << "枠にあわせる" << "1";
  QTest::newRow("proportions")  << "イメージの表示を枠にあわせる" << "縦横比を保つ" << "1";
  QTest::newRow("deletion")     << "ファイルの削除" << "ファイルの削除" << "0";
  // clang-format on
}

void TestSettings::shipped_settings() {
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, value);
  const QByteArray bytes = read_all(QStringLiteral(TARVEX_DEFAULT_SETTINGS));
  QVERIFY(!is_valid_utf8(bytes));  // Shift-JIS, which the UTF-8 reading would not take
  QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
  QCOMPARE(profile_read(QStringLiteral(TARVEX_DEFAULT_SETTINGS), section, key), value);
}

// The first start copies the shipped file into the settings folder, whole, making the folder;
// anything already at the settings path is left alone, and nothing is made without a usable
// shipped file.
void TestSettings::first_start_copies_the_shipped_file_data() {
  QTest::addColumn<QString>("present");  // what is at the settings path before
  QTest::addColumn<QString>("shipped");  // the shipped file: "file", "folder", "pipe" or "missing"
  QTest::addColumn<bool>("copied");
  // clang-format off
  QTest::newRow("empty folder")              << "nothing"      << "file"    << true;
  QTest::newRow("folder not made yet")       << "no folder"    << "file"    << true;
  QTest::newRow("a file is there")           << "file"         << "file"    << false;
  QTest::newRow("a link that leads nowhere") << "dangling link" << "file"   << false;
  QTest::newRow("folder under a file")       << "file as folder" << "file"  << false;
  QTest::newRow("nothing shipped")           << "nothing"      << "missing" << false;
  QTest::newRow("shipped is a folder")       << "nothing"      << "folder"  << false;
  QTest::newRow("shipped is a pipe")         << "nothing"      << "pipe"    << false;
  // clang-format on
}

void TestSettings::first_start_copies_the_shipped_file() {
  QFETCH(QString, present);
  QFETCH(QString, shipped);
  QFETCH(bool, copied);
  QTemporaryDir dir;
  const QByteArray shipped_bytes = read_all(QStringLiteral(TARVEX_DEFAULT_SETTINGS));
  QString shipped_path = dir.filePath("share/Tarvex.ini");
  QDir().mkpath(dir.filePath("share"));
  if (shipped == "file") QVERIFY(write_all(shipped_path, shipped_bytes));
  if (shipped == "folder") QDir().mkpath(shipped_path);
  if (shipped == "pipe") QVERIFY(::mkfifo(QFile::encodeName(shipped_path).constData(), 0600) == 0);
  QString folder = dir.filePath("config/Tarvex");
  if (present != "no folder") QDir().mkpath(folder);
  if (present == "file as folder") {
    QVERIFY(write_all(dir.filePath("plain"), "x"));
    folder = dir.filePath("plain/Tarvex");
  }
  const QString path = folder + "/Tarvex.ini";
  if (present == "file") QVERIFY(write_all(path, "[最大ファイル数]\r\nファイル数=1000\r\n"));
  if (present == "dangling link") QVERIFY(QFile::link(dir.filePath("nowhere"), path));
  const QByteArray before = read_all(path);

  QCOMPARE(provide_default_settings(path, shipped_path), copied);
  QCOMPARE(read_all(path), copied ? shipped_bytes : before);
  if (present == "dangling link") QVERIFY(QFileInfo(path).isSymLink());
  // The copy is whole: no temporary file is left beside it.
  if (QFileInfo(folder).isDir()) {
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden).size(),
             copied || present == "file" || present == "dangling link" ? 1 : 0);
  }
  // Creating never replaces what is there, a link that leads nowhere included.
  if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
    const QByteArray after = read_all(path);
    QVERIFY(!create_file_atomically(path, "other"));
    QCOMPARE(read_all(path), after);
    QVERIFY(!QFileInfo::exists(dir.filePath("nowhere")));
  }
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
