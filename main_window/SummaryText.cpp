#include "main_window/SummaryText.h"

#include "main_window/TextRoutines.h"
#include "platform/VersionInfo.h"

#include <QLocale>
#include <QTime>

#include <cmath>

namespace ombrix {

QString memoryFigure(std::uint64_t bytes) {
    return QString::number(
        static_cast<qulonglong>(std::llround(static_cast<double>(bytes) / 1043321.0)));
}

QString platformLine(const platform::OSVERSIONINFOA& record) {
    const QString csd = QString::fromUtf8(record.szCSDVersion, sizeof record.szCSDVersion);
    QString prefix = LPSTRToVBString(csd);
    if (record.dwPlatformId == 1)
        prefix = QStringLiteral("Windows 95/98/ME ");
    else if (record.dwPlatformId == 2)
        prefix = QStringLiteral("Windows NT/2000/XP ");
    return prefix + QString::number(record.dwMajorVersion) + u'.' +
           QString::number(record.dwMinorVersion) + QStringLiteral(" Build ") +
           QString::number(record.dwBuildNumber & 0xFFFFu);
}

QString osVersionText(const QVariant& version, const QLocale& locale) {
    const QString written = version.toString().trimmed();
    bool ok = false;
    const float number = QLocale::c().toFloat(written, &ok);
    if (!ok)
        return written;
    // Single precision holds seven significant digits.
    QString shortest = locale.toString(static_cast<double>(number), 'g', 7);
    shortest.remove(locale.groupSeparator());
    QString comparable = shortest;
    comparable.replace(locale.decimalPoint(), QStringLiteral("."));
    return comparable == written ? shortest : written;
}

QString osBuildText(const QVariant& build) {
    bool ok = false;
    const qlonglong value = build.toLongLong(&ok);
    if (!ok)
        return build.toString();
    // A build number beyond the 16-bit range is shown whole rather than wrapped.
    return QString::number(value);
}

QString clockText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace ombrix
