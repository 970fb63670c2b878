#pragma once
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QWidget;

namespace ombrix {

// Gives a window "Copy": Ctrl+C anywhere in it, and an entry of its context
// menu, put the lines `lines` gives on the clipboard as text. The window's
// own menus stay as they are. The lines are the window's text as the report
// writes it, each value already made visible (VisibleText).
QAction* addCopyAction(QWidget* window, std::function<QStringList()> lines);

// Lines as the clipboard carries them: each ended by a line break.
QString clipboardText(const QStringList& lines);

} // namespace ombrix
