#include "app/DisplayCheck.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace ombrix {
namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};

QtMessageHandler g_previous = nullptr;

std::vector<HeldMessage>& held() {
    static std::vector<HeldMessage> messages;
    return messages;
}

// While the application object is made, a fatal message means no display.
void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", kNoDisplayLine);
        std::fflush(stderr);
        std::_Exit(1);
    }
    held().push_back({type, context.file, context.function, context.category, context.line, text});
}

} // namespace

DisplayCheck::DisplayCheck() {
    g_previous = qInstallMessageHandler(holdOrEnd);
}

DisplayCheck::~DisplayCheck() {
    qInstallMessageHandler(g_previous);
    for (const HeldMessage& m : held()) {
        const QMessageLogContext context(m.file.constData(), m.line, m.function.constData(),
                                         m.category.constData());
        g_previous(m.type, context, m.text);
    }
    held().clear();
}

} // namespace ombrix
