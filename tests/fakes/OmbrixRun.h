#pragma once
// The built program run as cron or ssh starts it, and the JSON report's
// values read by key path.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QStringList>

struct OmbrixRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// No display of any kind; ended after two minutes, which reads as a signal.
// input, when given, is its standard input; within, when given, the command
// that runs it ("nsenter ...", "env NAME=value").
inline OmbrixRun runOmbrix(const QStringList& args, const QByteArray& input = {},
                           const QStringList& within = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process.setProcessEnvironment(env);
    const QStringList command =
        within + QStringList{QStringLiteral(OMBRIX_BIN_DIR "/ombrix")} + args;
    process.start(command.first(), command.mid(1));
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(120000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    OmbrixRun run;
    run.status = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The values at a key path ("network.adapters.gateways"), one per element
// of the arrays on the way.
inline QJsonArray valuesAt(const QJsonValue& value, QStringList path) {
    if (path.isEmpty())
        return QJsonArray{value};
    QJsonArray all;
    if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            for (const QJsonValue& found : valuesAt(item, path))
                all.append(found);
        return all;
    }
    const QString key = path.takeFirst();
    return value.toObject().contains(key) ? valuesAt(value.toObject()[key], path) : all;
}
