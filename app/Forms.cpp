#include "app/Forms.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace ombrix {

Forms::Forms(QObject* parent) : QObject(parent) {}

Forms::~Forms() {
    destroyAll();
}

void Forms::add(std::type_index type, Factory factory) {
    m_entries.insert_or_assign(type, Entry{std::move(factory), nullptr});
}

QWidget* Forms::load(std::type_index type) {
    auto it = m_entries.find(type);
    if (it == m_entries.end())
        return nullptr;
    if (!it->second.window) {
        std::unique_ptr<QWidget> window = it->second.factory();
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Every window counts when Qt decides that the last one has closed,
        // tool windows and dialogs too, so the program ends only when no
        // window is visible.
        window->setAttribute(Qt::WA_QuitOnClose);
        window->installEventFilter(this);
        it = m_entries.find(type); // the load step may have added entries
        it->second.window = window.release();
        emit loaded(it->second.window);
    }
    return it->second.window;
}

QWidget* Forms::show(std::type_index type) {
    QWidget* window = load(type);
    if (!window)
        return nullptr;
    window->show();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    return window;
}

QWidget* Forms::showMain() {
    return m_main ? show(*m_main) : nullptr;
}

bool Forms::isLoaded(std::type_index type) const {
    auto it = m_entries.find(type);
    return it != m_entries.end() && it->second.window;
}

void Forms::destroyAll() {
    for (auto& [type, entry] : m_entries) {
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
    for (auto& [type, entry] : m_entries) {
        if (entry.window == widget) {
            entry.window = nullptr;
            emit unloaded(widget);
            break;
        }
    }
    return true;
}

} // namespace ombrix
