// The display's core: the path labels.

#include "display/classify.h"

#include <QTest>

using namespace tarvex;

class TestDisplayCore final : public QObject {
  Q_OBJECT
 private slots:
  void path_labels();
};

// The path labels take the first two folders apart and leave the rest to the third.
void TestDisplayCore::path_labels() {
  const auto pieces = [](const QString& path) {
    const LabelPieces p = split_label_path(path);
    return QStringList{p.first, p.second, p.third};
  };
  QCOMPARE(pieces("x.Cur"), (QStringList{"x.Cur", "", ""}));
  QCOMPARE(pieces("/r/REPORT.XLS"), (QStringList{"/r", "/REPORT.XLS", ""}));
  QCOMPARE(pieces("/a/b/c/ICON.ICO"), (QStringList{"/a", "/b", "/c/ICON.ICO"}));
}

QTEST_MAIN(TestDisplayCore)
#include "test_display_core.moc"
