#include "platform/accessible_value.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace tarvex {

namespace {

// The dynamic property that holds a value label's role.
constexpr char kRoleProperty[] = "tarvex_accessible_role";

class ValueLabelInterface final : public QAccessibleWidget {
 public:
  explicit ValueLabelInterface(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    const auto* label = static_cast<const QLabel*>(widget());
    const QString role = label->property(kRoleProperty).toString();
    const QString shown = label->text();
    switch (t) {
      case QAccessible::Name:
        return shown.isEmpty() ? role : role + u' ' + shown;
      case QAccessible::Value:
        return shown;
      default:
        return QAccessibleWidget::text(t);
    }
  }
};

QAccessibleInterface* value_label_factory(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("QLabel")) return nullptr;
  auto* label = qobject_cast<QLabel*>(object);
  if (label == nullptr || !label->property(kRoleProperty).isValid()) return nullptr;
  return new ValueLabelInterface(label);
}

}  // namespace

void expose_label_value(QLabel* label, const QString& role) {
  static const bool installed = [] {
    QAccessible::installFactory(&value_label_factory);
    return true;
  }();
  (void)installed;
  label->setProperty(kRoleProperty, role);
  // The label's own accessible name stays empty: only then does a new text tell the screen reader
  // that the name changed.
  label->setAccessibleName(QString());
}

}  // namespace tarvex
