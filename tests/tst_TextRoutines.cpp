#include "main_window/SummaryText.h"
#include "main_window/TextRoutines.h"
#include "platform/VersionInfo.h"

#include <QLocale>
#include <QTest>
#include <QTime>

#include <cstring>

using namespace ombrix;

class tst_TextRoutines : public QObject {
    Q_OBJECT
private slots:
    void cutsAtFirstZero_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stripped");
        QTest::addColumn<QString>("converted");
        const QChar z(0);
        QTest::newRow("zero in the middle") << QString("abc") + z + "def"
                                            << "abc"
                                            << "abc";
        QTest::newRow("no zero") << "abc"
                                 << "abc"
                                 << "";
        QTest::newRow("zero first") << QString(z) + "abc"
                                    << ""
                                    << "";
        QTest::newRow("zero last") << QString("abc") + z << "abc"
                                   << "abc";
        QTest::newRow("all zero buffer") << QString(255, z) << ""
                                         << "";
    }
    void cutsAtFirstZero() {
        QFETCH(QString, text);
        QFETCH(QString, stripped);
        QFETCH(QString, converted);
        QCOMPARE(StripZero(text), stripped);
        QCOMPARE(LPSTRToVBString(text), converted);
    }

    void memoryFigure_data() {
        QTest::addColumn<qulonglong>("bytes");
        QTest::addColumn<QString>("figure");
        QTest::newRow("256 MiB") << 268435456ull << "257";
        QTest::newRow("512 MiB") << 536870912ull << "515";
        QTest::newRow("largest signed 32-bit") << 2147483647ull << "2058";
        QTest::newRow("zero") << 0ull << "0";
        QTest::newRow("4 GiB is not cut to 32 bits") << 4294967296ull << "4117";
        QTest::newRow("64 GiB") << 68719476736ull << "65866";
    }
    void memoryFigure() {
        QFETCH(qulonglong, bytes);
        QFETCH(QString, figure);
        QCOMPARE(ombrix::memoryFigure(bytes), figure);
    }

    void platformLine_data() {
        QTest::addColumn<uint>("platformId");
        QTest::addColumn<uint>("major");
        QTest::addColumn<uint>("minor");
        QTest::addColumn<uint>("build");
        QTest::addColumn<QByteArray>("csd");
        QTest::addColumn<QString>("line");
        QTest::newRow("NT family") << 2u << 5u << 1u << 2600u << QByteArray("Service Pack 2")
                                   << "Windows NT/2000/XP 5.1 Build 2600";
        QTest::newRow("only the low 16 bits of the build")
            << 1u << 4u << 10u << ((0x0401u << 16) | 2222u) << QByteArray()
            << "Windows 95/98/ME 4.10 Build 2222";
        QTest::newRow("other platform, empty text")
            << 3u << 4u << 0u << 0u << QByteArray() << "4.0 Build 0";
        QTest::newRow("distribution name as prefix")
            << 3u << 6u << 1u << 115u << QByteArray("Debian GNU/Linux 12 (bookworm) ")
            << "Debian GNU/Linux 12 (bookworm) 6.1 Build 115";
        QTest::newRow("unterminated text gives no prefix")
            << 3u << 6u << 1u << 115u << QByteArray(128, 'x') << "6.1 Build 115";
    }
    void platformLine() {
        QFETCH(uint, platformId);
        QFETCH(uint, major);
        QFETCH(uint, minor);
        QFETCH(uint, build);
        QFETCH(QByteArray, csd);
        QFETCH(QString, line);
        platform::OSVERSIONINFOA record;
        record.dwPlatformId = platformId;
        record.dwMajorVersion = major;
        record.dwMinorVersion = minor;
        record.dwBuildNumber = build;
        std::memcpy(record.szCSDVersion, csd.constData(), std::min<size_t>(csd.size(), 128));
        QCOMPARE(ombrix::platformLine(record), line);
    }

    void osVersionNeverDropsADigit_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shown");
        QTest::newRow("whole number") << "12"
                                      << "en_US"
                                      << "12";
        QTest::newRow("point release") << "12.8"
                                       << "en_US"
                                       << "12.8";
        QTest::newRow("24.04") << "24.04"
                               << "en_US"
                               << "24.04";
        QTest::newRow("24.10 keeps its zero") << "24.10"
                                              << "en_US"
                                              << "24.10";
        QTest::newRow("6.10 keeps its zero") << "6.10"
                                             << "en_US"
                                             << "6.10";
        QTest::newRow("user's decimal separator") << "12.8"
                                                  << "de_DE"
                                                  << "12,8";
        QTest::newRow("not a number") << "trixie/sid"
                                      << "en_US"
                                      << "trixie/sid";
        QTest::newRow("XP") << "5.1"
                            << "en_US"
                            << "5.1";
    }
    void osVersionNeverDropsADigit() {
        QFETCH(QString, written);
        QFETCH(QString, locale);
        QFETCH(QString, shown);
        QCOMPARE(osVersionText(written, QLocale(locale)), shown);
    }

    void clockIsTwentyFourHourWithTwoDigits() {
        QCOMPARE(clockText(QTime(14, 5, 9)), QString("14:05:09"));
        QCOMPARE(clockText(QTime(9, 0, 0)), QString("09:00:00"));
        QCOMPARE(clockText(QTime(0, 0, 0)), QString("00:00:00"));
    }
};

QTEST_GUILESS_MAIN(tst_TextRoutines)
#include "tst_TextRoutines.moc"
