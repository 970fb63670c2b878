#pragma once
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace ombrix {

// The window-instance model: each window exists at most once, is made and
// loaded on first reference, unloads when closed (close box, "Close", "OK")
// and keeps its state when only hidden.
//
// A factory builds the window and runs its load step; the window is loaded
// once the factory returns. An exception from the factory escapes to the
// caller, as a failing load step does.
class Forms : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<QWidget>()>;

    explicit Forms(QObject* parent = nullptr);
    ~Forms() override;

    void add(const QString& name, Factory factory);

    // The loaded window, loading it first when it is not loaded.
    QWidget* get(const QString& name);
    // Loads when needed, then shows modeless and without an owner, in front.
    QWidget* show(const QString& name);
    bool isLoaded(const QString& name) const;
    // Ends every window without its unload handling (the "Exit" command).
    void destroyAll();

    template <class W> W* get(const QString& name) { return qobject_cast<W*>(get(name)); }

signals:
    void loaded(const QString& name);
    void unloaded(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        Factory factory;
        QPointer<QWidget> window;
    };
    QHash<QString, Entry> m_entries;
};

} // namespace ombrix
