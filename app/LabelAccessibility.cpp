#include "app/LabelAccessibility.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QTextDocument>

namespace ombrix {
namespace {

// "Ma&ximum:" reads "Maximum:", "A && B" reads "A & B".
QString withoutMnemonic(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        plain += text[i];
    }
    return plain;
}

class LabelAccessible final : public QAccessibleWidget {
public:
    explicit LabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QAccessible::Role role() const override {
        return label()->pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
    }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        if (!label()->accessibleName().isEmpty())
            return label()->accessibleName();
        QString shown = label()->text();
        if (label()->textFormat() == Qt::RichText ||
            (label()->textFormat() == Qt::AutoText && Qt::mightBeRichText(shown))) {
            QTextDocument document;
            document.setHtml(shown);
            shown = document.toPlainText();
        }
        // Only a label that captions another control has a mnemonic.
        return label()->buddy() ? withoutMnemonic(shown) : shown;
    }

    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto found = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Labelled) && label()->buddy())
            found.append(
                {QAccessible::queryAccessibleInterface(label()->buddy()), QAccessible::Labelled});
        return found;
    }

private:
    const QLabel* label() const { return static_cast<const QLabel*>(widget()); }
};

QAccessibleInterface* labelInterface(const QString& className, QObject* object) {
    if (className != QLatin1String("QLabel"))
        return nullptr;
    auto* label = qobject_cast<QLabel*>(object);
    return label ? new LabelAccessible(label) : nullptr;
}

} // namespace

void installLabelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(labelInterface);
        return true;
    }();
    (void)installed;
}

} // namespace ombrix
