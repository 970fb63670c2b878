#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <typeindex>
#include <unordered_map>

namespace ombrix {

// The window-instance model: each window exists at most once, is made and
// loaded on first reference, unloads when closed (close box, "Close", "OK")
// and keeps its state when only hidden. Windows are named by their class.
//
// A factory builds the window and runs its load step; the window is loaded
// once the factory returns. An exception from the factory escapes to the
// caller, as a failing load step does. A test may register a stand-in under
// a window's class; get<W>() then answers nullptr while show<W>() shows it.
class Forms : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<QWidget>()>;

    explicit Forms(QObject* parent = nullptr);
    ~Forms() override;

    template <class W> void add(Factory factory) { add(typeid(W), std::move(factory)); }
    // The main window: the one the program starts with and the other windows
    // return to.
    template <class W> void addMain(Factory factory) {
        add<W>(std::move(factory));
        m_main = std::type_index(typeid(W));
    }

    // The loaded window, loading it first when it is not loaded.
    template <class W> W* get() { return dynamic_cast<W*>(window<W>()); }
    // The same, as whatever the factory made (a stand-in too).
    template <class W> QWidget* window() { return load(typeid(W)); }
    // Loads when needed, then shows modeless and without an owner, in front.
    template <class W> QWidget* show() { return show(typeid(W)); }
    template <class W> bool isLoaded() const { return isLoaded(typeid(W)); }

    QWidget* showMain();
    // Ends every window without its unload handling (the "Exit" command).
    void destroyAll();

signals:
    void loaded(QWidget* window);
    void unloaded(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        Factory factory;
        QPointer<QWidget> window;
    };
    void add(std::type_index type, Factory factory);
    QWidget* load(std::type_index type);
    QWidget* show(std::type_index type);
    bool isLoaded(std::type_index type) const;

    std::unordered_map<std::type_index, Entry> m_entries;
    std::optional<std::type_index> m_main;
};

} // namespace ombrix
