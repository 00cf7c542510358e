// The settings file: the profile reader and writer, the value conversions and the settings
// folder.

#include "comma_locale.h"
#include "platform/settings_folder.h"
#include "platform/text_codecs.h"
#include "settings/conversions.h"
#include "settings/profile.h"
#include "settings/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <csignal>
#include <memory>

using namespace tarvex;

namespace {

QByteArray cp932(const QString& text) {
  return encode_cp932(text);
}

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
  void read_cuts_long_values_data();
  void read_cuts_long_values();
  void read_other_encodings();
  void write_edits_in_place_data();
  void write_edits_in_place();
  void write_new_file_is_cp932_with_crlf();
  void write_keeps_utf8_and_utf16();
  void failed_write_leaves_old_file();
  void write_keeps_protection_and_links();
  void settings_file_creates_its_folder();
  void leading_number_data();
  void leading_number();
  void seconds_to_ms_data();
  void seconds_to_ms();
  void truth_value_data();
  void truth_value();
  void whole_number_data();
  void whole_number();
  void shortest_decimal_data();
  void shortest_decimal();
  void file_count_data();
  void file_count();
  void settings_folder_choice();
};

void TestSettings::initTestCase() {
  comma_ = std::make_unique<testing::CommaLocale>();
  QVERIFY2(comma_->active(), qPrintable(comma_->why()));
}

void TestSettings::read_data() {
  QTest::addColumn<QString>("file");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("expected");
  // clang-format off
  QTest::newRow("names ignore case") << "[Sec]\r\nKey=Val\r\n" << "sEC" << "kEY" << "Val";
  QTest::newRow("argument spaces trimmed") << "[S]\r\nk=v\r\n" << " S " << " k " << "v";
  QTest::newRow("argument tab not trimmed") << "[S]\r\nk=v\r\n" << "\tS" << "k" << "";
  QTest::newRow("blanks before bracket") << "  \t[S]\r\nk=v\r\n" << "S" << "k" << "v";
  QTest::newRow("blanks inside brackets") << "[ \tS\t ]\r\nk=v\r\n" << "S" << "k" << "v";
  QTest::newRow("rest after bracket ignored") << "[S] junk]\r\nk=v\r\n" << "S" << "k" << "v";
  QTest::newRow("missing bracket tolerated") << "[S\r\nk=v\r\n" << "S" << "k" << "v";
  QTest::newRow("blanks around key and value") << "[S]\r\n \t k \v= \t v \v\r\n" << "S" << "k" << "v";
  QTest::newRow("double quotes removed") << "[S]\r\nk=\"  v  \"\r\n" << "S" << "k" << "  v  ";
  QTest::newRow("single quotes removed") << "[S]\r\nk='v'\r\n" << "S" << "k" << "v";
  QTest::newRow("mismatched quotes stay") << "[S]\r\nk=\"v'\r\n" << "S" << "k" << "\"v'";
  QTest::newRow("one pair only") << "[S]\r\nk=\"\"v\"\"\r\n" << "S" << "k" << "\"v\"";
  QTest::newRow("lone quote stays") << "[S]\r\nk=\"\r\n" << "S" << "k" << "\"";
  QTest::newRow("comment line") << "[S]\r\n;k=v\r\n" << "S" << ";k" << "";
  QTest::newRow("indented comment") << "[S]\r\n  ;k=v\r\n" << "S" << ";k" << "";
  QTest::newRow("hash is no comment") << "[S]\r\n#k=v\r\n" << "S" << "#k" << "v";
  QTest::newRow("no inline comment") << "[S]\r\nk=v ; x\r\n" << "S" << "k" << "v ; x";
  QTest::newRow("before first section") << "k=v\r\n[S]\r\n" << "S" << "k" << "";
  QTest::newRow("line without equals") << "[S]\r\nk\r\n" << "S" << "k" << "";
  QTest::newRow("first duplicate key wins") << "[S]\r\nk=1\r\nk=2\r\n" << "S" << "k" << "1";
  QTest::newRow("only first section searched") << "[S]\r\na=1\r\n[T]\r\n[s]\r\nb=2\r\n" << "S" << "b" << "";
  QTest::newRow("key of another section") << "[S]\r\n[T]\r\nk=v\r\n" << "S" << "k" << "";
  QTest::newRow("missing section") << "[S]\r\nk=v\r\n" << "T" << "k" << "";
  QTest::newRow("equals in value") << "[S]\r\nk=a=b\r\n" << "S" << "k" << "a=b";
  QTest::newRow("line feeds only") << "[S]\nk=v\n" << "S" << "k" << "v";
  QTest::newRow("no final line end") << "[S]\r\nk=v" << "S" << "k" << "v";
  // ー is 81 5B and ‐ is 81 5D: trail bytes equal to the brackets.
  QTest::newRow("trail bytes like brackets") << "[ー‐]\r\nキー=値\r\n" << "ー‐" << "キー" << "値";
  // 表 is 95 5C and ソ is 83 5C: trail bytes equal to the backslash.
  QTest::newRow("trail bytes like backslash") << "[表示]\r\n表=ソ\\\r\n" << "表示" << "表" << "ソ\\";
  // clang-format on
}

void TestSettings::read() {
  QFETCH(QString, file);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(path, cp932(file)));
  QCOMPARE(profile_read(path, section, key), expected);
}

void TestSettings::read_cuts_long_values_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("expected");
  const QByteArray a1100(1100, 'a'), a1022(1022, 'a'), a1021(1021, 'a');
  // clang-format off
  QTest::newRow("ascii cut to 1023") << "[S]\r\nk=" + a1100 << QString(1023, u'a');
  // A two-byte character across the cut loses its dangling lead byte.
  QTest::newRow("cp932 pair across cut") << "[S]\r\nk=" + a1022 + cp932("あい") << QString(1022, u'a');
  QTest::newRow("cp932 pair before cut") << "[S]\r\nk=" + a1021 + cp932("あい") << QString(1021, u'a') + "あ";
  QTest::newRow("utf8 character across cut") << QByteArray("[S]\r\nk=") + a1021 + QString("あ").toUtf8() << QString(1021, u'a');
  // clang-format on
}

void TestSettings::read_cuts_long_values() {
  QFETCH(QByteArray, file);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(path, file));
  QCOMPARE(profile_read(path, "S", "k"), expected);
}

void TestSettings::read_other_encodings() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  const QString text = QStringLiteral("[表示属性]\r\n表示ファイル=*.txt\r\n");
  for (const QByteArray& bytes :
       {text.toUtf8(), "\xEF\xBB\xBF" + text.toUtf8(), "\xFF\xFE" + encode_utf16le(text)}) {
    QVERIFY(write_all(path, bytes));
    QCOMPARE(profile_read(path, "表示属性", "表示ファイル"), QString("*.txt"));
  }
}

void TestSettings::write_edits_in_place_data() {
  QTest::addColumn<QString>("before");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("after");
  const QString keep = "; comment\r\n\r\n[Other]\r\nx = 1 \r\n\r\n[S]\r\n";
  // clang-format off
  QTest::newRow("value replaced, spacing kept") << keep + "k = old\r\nm=2\r\n" << "S" << "k" << "new" << keep + "k = new\r\nm=2\r\n";
  QTest::newRow("key keeps its casing") << "[S]\r\nKEY=1\r\n" << "s" << "key" << "2" << "[S]\r\nKEY=2\r\n";
  QTest::newRow("quoted value replaced verbatim") << "[S]\r\nk=\"a b\"\r\n" << "S" << "k" << "c" << "[S]\r\nk=c\r\n";
  QTest::newRow("empty value") << "[S]\r\nk=v\r\n" << "S" << "k" << "" << "[S]\r\nk=\r\n";
  QTest::newRow("new key after the last key") << "[S]\r\na=1\r\n\r\n;note\r\n[T]\r\n" << "S" << "b" << "2" << "[S]\r\na=1\r\nb=2\r\n\r\n;note\r\n[T]\r\n";
  QTest::newRow("new key in empty section") << "[S]\r\n\r\n[T]\r\n" << "S" << "b" << "2" << "[S]\r\nb=2\r\n\r\n[T]\r\n";
  QTest::newRow("new section at the end") << "[S]\r\na=1\r\n" << "T" << "b" << "2" << "[S]\r\na=1\r\n[T]\r\nb=2\r\n";
  QTest::newRow("file without final line end") << "[S]\r\na=1" << "T" << "b" << "2" << "[S]\r\na=1\r\n[T]\r\nb=2\r\n";
  QTest::newRow("section without final line end") << "[S]" << "S" << "b" << "2" << "[S]\r\nb=2\r\n";
  QTest::newRow("line feed file stays line feed") << "[S]\na=1\n" << "S" << "b" << "2" << "[S]\na=1\nb=2\n";
  QTest::newRow("only the first duplicate changes") << "[S]\r\nk=1\r\nk=2\r\n" << "S" << "k" << "3" << "[S]\r\nk=3\r\nk=2\r\n";
  // A value never spans lines: a pasted line break cannot add keys or sections.
  QTest::newRow("line breaks in a value") << "[S]\r\nk=1\r\n" << "S" << "k" << "a\r\n[T]\r\nx=1" << "[S]\r\nk=a  [T]  x=1\r\n";
  QTest::newRow("line feed in a new key") << "[S]\r\n" << "S" << "b" << "1\n[T]\rc" << "[S]\r\nb=1 [T] c\r\n";
  // clang-format on
}

void TestSettings::write_edits_in_place() {
  QFETCH(QString, before);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(QString, after);
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(path, cp932(before)));
  QVERIFY(profile_write(path, section, key, value));
  QCOMPARE(read_all(path), cp932(after));
  QCOMPARE(profile_read(path, section, key), QString(value).replace('\r', ' ').replace('\n', ' '));
}

void TestSettings::write_new_file_is_cp932_with_crlf() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(profile_write(path, "表示時間", "イメージ", "5"));
  QCOMPARE(read_all(path), cp932("[表示時間]\r\nイメージ=5\r\n"));
  // Bytes no table maps (a lone 0xA0, an unassigned pair) survive an edit elsewhere.
  const QByteArray odd = QByteArray("[S]\r\nx=\xA0\x87\x40\xFA\x40\xEF\x40\r\n");
  QVERIFY(write_all(path, odd + cp932("[表示時間]\r\nイメージ=5\r\n")));
  QVERIFY(profile_write(path, "表示時間", "イメージ", "7"));
  QCOMPARE(read_all(path), odd + cp932("[表示時間]\r\nイメージ=7\r\n"));
}

void TestSettings::write_keeps_utf8_and_utf16() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  QVERIFY(write_all(path, QString("[表示属性]\nアーカイブ=True\n").toUtf8()));
  QVERIFY(profile_write(path, "表示属性", "隠しファイル", "False"));
  QCOMPARE(read_all(path), QString("[表示属性]\nアーカイブ=True\n隠しファイル=False\n").toUtf8());

  const QString text = QStringLiteral("[表示属性]\r\nアーカイブ=True\r\n");
  QVERIFY(write_all(path, QByteArray("\xFF\xFE") + encode_utf16le(text)));
  QVERIFY(profile_write(path, "表示属性", "アーカイブ", "False"));
  QCOMPARE(read_all(path),
           QByteArray("\xFF\xFE") + encode_utf16le("[表示属性]\r\nアーカイブ=False\r\n"));
}

void TestSettings::failed_write_leaves_old_file() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tarvex.ini");
  const QByteArray old = cp932("[表示時間]\r\nイメージ=5\r\n");
  QVERIFY(write_all(path, old));
  // A file-size limit makes the write of the new file fail part-way, as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = profile_write(path, "表示時間", "テキスト", QString(200, u'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  QVERIFY(!written);
  QCOMPARE(read_all(path), old);
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Tarvex.ini"});
}

void TestSettings::write_keeps_protection_and_links() {
  QTemporaryDir dir;
  const QByteArray old = cp932("[表示時間]\r\nイメージ=5\r\n");
  // A file the user made read-only is not replaced, even by the superuser the tests run as.
  const QString locked = dir.filePath("locked/Tarvex.ini");
  QDir().mkpath(dir.filePath("locked"));
  QVERIFY(write_all(locked, old));
  QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  QVERIFY(!profile_write(locked, "表示時間", "イメージ", "7"));
  QCOMPARE(read_all(locked), old);
  QCOMPARE(QDir(dir.filePath("locked")).entryList(QDir::Files), QStringList{"Tarvex.ini"});

  // A link stays a link; the file it leads to gets the value, its temporary file beside it.
  QDir().mkpath(dir.filePath("real"));
  QDir().mkpath(dir.filePath("app"));
  const QString target = dir.filePath("real/settings.ini");
  QVERIFY(write_all(target, old));
  const QString link = dir.filePath("app/Tarvex.ini");
  QVERIFY(QFile::link("../real/settings.ini", link));
  QVERIFY(profile_write(link, "表示時間", "イメージ", "7"));
  QVERIFY(QFileInfo(link).isSymLink());
  QCOMPARE(read_all(target), cp932("[表示時間]\r\nイメージ=7\r\n"));
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
  QVERIFY(!profile_write(dir.filePath("app/loop.ini"), "S", "k", "v"));
}

void TestSettings::settings_file_creates_its_folder() {
  QTemporaryDir dir;
  SettingsFile settings(dir.filePath("config/Tarvex"));
  QCOMPARE(settings.ini_read("S", "k"), QString());
  QVERIFY(settings.ini_write("S", "k", "v"));
  QCOMPARE(settings.path(), dir.filePath("config/Tarvex/Tarvex.ini"));
  QCOMPARE(settings.ini_read("S", "k"), QString("v"));
}

void TestSettings::leading_number_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<double>("expected");
  // clang-format off
  QTest::newRow("empty") << "" << 0.0;
  QTest::newRow("leading blanks") << "  2.25" << 2.25;
  QTest::newRow("plus") << "+7x" << 7.0;
  QTest::newRow("exponent") << "1e2" << 100.0;
  QTest::newRow("dangling exponent") << "1e" << 1.0;
  QTest::newRow("point first") << ".5" << 0.5;
  QTest::newRow("full-width digits are no number") << "５" << 0.0;
  // clang-format on
}

void TestSettings::leading_number() {
  QFETCH(QString, text);
  QFETCH(double, expected);
  QCOMPARE(tarvex::leading_number(text), expected);
}

void TestSettings::seconds_to_ms_data() {
  QTest::addColumn<double>("seconds");
  QTest::addColumn<long long>("ms");
  // clang-format off
  QTest::newRow("half second") << 0.5 << 500LL;
  QTest::newRow("half ms to even down") << 0.0005 << 0LL;
  QTest::newRow("beyond the timer") << 70.0 << 70000LL;
  QTest::newRow("negative") << -1.0 << -1000LL;
  // clang-format on
}

void TestSettings::seconds_to_ms() {
  QFETCH(double, seconds);
  QFETCH(long long, ms);
  QCOMPARE(tarvex::seconds_to_ms(seconds), ms);
}

void TestSettings::truth_value_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("expected");  // 1 true, 0 false, -1 none
  // clang-format off
  QTest::newRow("True") << "True" << 1;
  QTest::newRow("tRuE") << "tRuE" << 1;
  QTest::newRow("zero") << "0" << 0;
  QTest::newRow("fraction") << "0.5" << 1;
  QTest::newRow("blanks") << " True " << 1;
  QTest::newRow("empty") << "" << -1;
  QTest::newRow("number and text") << "1x" << -1;
  // clang-format on
}

void TestSettings::truth_value() {
  QFETCH(QString, text);
  QFETCH(int, expected);
  const std::optional<bool> v = tarvex::truth_value(text);
  QCOMPARE(v.has_value() ? int(*v) : -1, expected);
}

void TestSettings::whole_number_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("expected");  // -99999: none
  // clang-format off
  QTest::newRow("half to even down") << "20.5" << 20;
  QTest::newRow("half to even up") << "21.5" << 22;
  QTest::newRow("blanks") << " 300 " << 300;
  QTest::newRow("empty") << "" << -99999;
  QTest::newRow("letters") << "abc" << -99999;
  QTest::newRow("unit after") << "5s" << -99999;
  QTest::newRow("beyond 16 bits") << "99999" << -99999;
  QTest::newRow("negative") << "-5" << -5;
  // clang-format on
}

void TestSettings::whole_number() {
  QFETCH(QString, text);
  QFETCH(int, expected);
  QCOMPARE(tarvex::whole_number(text).value_or(-99999), expected);
}

void TestSettings::shortest_decimal_data() {
  QTest::addColumn<double>("value");
  QTest::addColumn<QString>("text");
  // clang-format off
  QTest::newRow("whole") << 5.0 << "5";
  QTest::newRow("half") << 0.5 << "0.5";
  QTest::newRow("ms") << 65.535 << "65.535";
  QTest::newRow("zero") << 0.0 << "0";
  // clang-format on
}

void TestSettings::shortest_decimal() {
  QFETCH(double, value);
  QFETCH(QString, text);
  QCOMPARE(tarvex::shortest_decimal(value), text);
}

void TestSettings::file_count_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("max_index");
  QTest::addColumn<bool>("warned");
  // clang-format off
  QTest::newRow("19") << "19" << 200 << true;
  QTest::newRow("20") << "20" << 20 << false;
  QTest::newRow("501") << "501" << 200 << true;
  QTest::newRow("0") << "0" << 200 << true;
  QTest::newRow("letters") << "many" << 200 << true;
  QTest::newRow("19.5 rounds to 20") << "19.5" << 20 << false;
  // clang-format on
}

void TestSettings::file_count() {
  QFETCH(QString, text);
  QFETCH(int, max_index);
  QFETCH(bool, warned);
  const FileCount count = tarvex::file_count(text);
  QCOMPARE(count.max_index, max_index);
  QCOMPARE(count.out_of_range, warned);
}

void TestSettings::settings_folder_choice() {
  QTemporaryDir dir;
  QCOMPARE(choose_settings_folder(dir.path(), "/home/u/.config"), dir.path());
  QCOMPARE(choose_settings_folder("/usr/bin", "/home/u/.config"),
           QString("/home/u/.config/Tarvex"));
  QCOMPARE(choose_settings_folder(dir.filePath("missing"), "/cfg"), QString("/cfg/Tarvex"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
