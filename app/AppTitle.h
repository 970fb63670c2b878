#pragma once
#include <QString>

namespace ombrix {

// The program-wide title: the About box shows it, and every message box that
// names no caption of its own carries it.
inline QString appTitle() {
    return QStringLiteral("Ombrix (upload)");
}

} // namespace ombrix
