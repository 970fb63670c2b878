#include "app/Forms.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace ombrix {

Forms::Forms(QObject* parent) : QObject(parent) {}

Forms::~Forms() {
    destroyAll();
}

void Forms::add(const QString& name, Factory factory) {
    m_entries.insert(name, Entry{std::move(factory), nullptr});
}

QWidget* Forms::get(const QString& name) {
    auto it = m_entries.find(name);
    if (it == m_entries.end())
        return nullptr;
    if (!it->window) {
        std::unique_ptr<QWidget> window = it->factory();
        window->setObjectName(name);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Every window counts when Qt decides that the last one has closed,
        // tool windows and dialogs too, so the program ends only when no
        // window is visible.
        window->setAttribute(Qt::WA_QuitOnClose);
        window->installEventFilter(this);
        it = m_entries.find(name); // the load step may have added entries
        it->window = window.release();
        emit loaded(name);
    }
    return it->window;
}

QWidget* Forms::show(const QString& name) {
    QWidget* window = get(name);
    if (!window)
        return nullptr;
    window->show();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    return window;
}

bool Forms::isLoaded(const QString& name) const {
    auto it = m_entries.constFind(name);
    return it != m_entries.constEnd() && it->window;
}

void Forms::destroyAll() {
    for (auto& entry : m_entries) {
        if (entry.window) {
            entry.window->removeEventFilter(this);
            delete entry.window.data();
        }
    }
}

bool Forms::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Close)
        return false;
    // Let the window decide first; only an accepted close unloads it. The
    // instance is forgotten at once, so the next reference loads afresh even
    // before the old window's deferred deletion has run.
    auto* widget = static_cast<QWidget*>(watched);
    widget->removeEventFilter(this);
    QCoreApplication::sendEvent(widget, event);
    if (!event->isAccepted()) {
        widget->installEventFilter(this);
        return true;
    }
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->window == widget) {
            it->window = nullptr;
            emit unloaded(it.key());
            break;
        }
    }
    return true;
}

} // namespace ombrix
