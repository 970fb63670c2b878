#include "app/CopyAction.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QWidget>

namespace ombrix {

QAction* addCopyAction(QWidget* window, std::function<QStringList()> lines) {
    auto* copy = new QAction(QObject::tr("Copy"), window);
    copy->setObjectName(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(copy, &QAction::triggered, window, [lines = std::move(lines)] {
        QGuiApplication::clipboard()->setText(clipboardText(lines()));
    });
    window->addAction(copy);
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    return copy;
}

QString clipboardText(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + u'\n';
    return text;
}

} // namespace ombrix
