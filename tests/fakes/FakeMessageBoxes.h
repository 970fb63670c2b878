#pragma once
#include "platform/MessageBoxes.h"

#include <QStringList>

#include <functional>

// Records every message box instead of blocking on it.
struct FakeMessageBoxes final : ombrix::platform::MessageBoxes {
    struct Shown {
        QString caption;
        QString text;
        Icon icon;
    };
    QList<Shown> shown;
    std::function<void()> onShow; // runs while the "box" is up
    void show(const QString& caption, const QString& text, Icon icon) override {
        shown.append({caption, text, icon});
        if (onShow)
            onShow();
    }
};
