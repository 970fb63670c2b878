// The Computers window over links to fake computers, each answering on a
// thread of its own with the facts the test gives it.
#include "FakeCounterSources.h"
#include "computers_window/ComputersWindow.h"
#include "computers_window/StoredComputers.h"
#include "main_window/SummaryText.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "program/Program.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <deque>
#include <memory>

using namespace ombrix;
using platform::RemoteFacts;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

// A computer's facts as its collector gives them.
RemoteFacts factsOf(const QString& model, std::uint64_t totalMiB) {
    RemoteFacts facts;
    facts.address = QStringLiteral("192.0.2.7");
    facts.summary.nodeName = QStringLiteral("far");
    facts.summary.kernelRelease = QStringLiteral("6.1.0-27-amd64");
    facts.summary.distribution = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    facts.summary.processorModel = model;
    facts.summary.totalMemory = totalMiB * MiB;
    facts.summary.availableMemory = totalMiB * MiB / 2;
    return facts;
}

// The window over fake computers "small" (100 MiB), "large" (10 GiB),
// "middle" (9 GiB) and a silent "down", with the list kept in memory.
struct Fixture {
    FakeCounterSources sources;
    platform::RemoteComputerLinks links{sources, nullptr};
    platform::registry::RegistryLayer store;
    QStringList opened;
    std::deque<QString> typed; // what the user types when asked for a name
    std::unique_ptr<ComputersWindow> window;

    explicit Fixture(std::size_t atOnce = 100) {
        store.setStore(platform::HKEY_CURRENT_USER,
                       std::make_shared<platform::registry::MemoryRegistryStore>());
        const auto own = [&](const char* name, const char* model, std::uint64_t mib) {
            auto facts = std::make_shared<FakeComputerFacts>();
            facts->set(factsOf(QString::fromLatin1(model), mib));
            sources.factsOf[QString::fromLatin1(name)] = facts;
        };
        own("small", "Atom", 100);
        own("large", "Xeon", 10240);
        own("middle", "Ryzen", 9216);
        sources.setUnreachable({QStringLiteral("down")});
        window = std::make_unique<ComputersWindow>(ComputersWindow::Services{
            {links, program::ComputerSummary, atOnce},
            store,
            [this](const QString& computer, std::function<void(const QString&)> done) {
                opened << computer;
                done({});
            },
            [this](QWidget*) -> std::optional<QString> {
                if (typed.empty())
                    return std::nullopt;
                QString name = typed.front();
                typed.pop_front();
                return name;
            }});
        window->Form_Load();
        window->show();
    }
    ~Fixture() { window.reset(); }

    QTableView* table() { return window->findChild<QTableView*>("computerTable"); }
    QString cell(int row, ComputerColumn column) {
        return table()->model()->index(row, static_cast<int>(column)).data().toString();
    }
    QStringList shownNames() {
        QStringList names;
        for (int r = 0; r < table()->model()->rowCount(); ++r)
            names << cell(r, ComputerColumn::Name);
        return names;
    }
    bool allRead() {
        for (int r = 0; r < window->table().rowCount(); ++r) {
            const auto state = window->table().row(r).state;
            if (state == ComputerRow::State::Waiting || state == ComputerRow::State::Asking)
                return false;
        }
        return true;
    }
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QPushButton*>(name), Qt::LeftButton);
    }
};

} // namespace

class tst_ComputersWindow : public QObject {
    Q_OBJECT

private slots:
    void rowsEachComputerOnce_data();
    void rowsEachComputerOnce();
    void sortsMemoryByNumber();
    void filterMatchesAnyColumn_data();
    void filterMatchesAnyColumn();
    void silentComputerSaysWhy();
    void copyGivesTheRowsShown();
    void doubleClickOpensThatComputer();
    void addAndRemoveUpdateTheStoredList_data();
    void addAndRemoveUpdateTheStoredList();
    void rowsPastTheLinksWaitTheirTurn();
};

void tst_ComputersWindow::rowsEachComputerOnce_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("one each") << QStringList{"small", "large"} << QStringList{"small", "large"};
    QTest::newRow("named twice") << QStringList{"small", "SMALL", "\\\\small", "small:44321",
                                                "large"}
                                 << QStringList{"small", "large"};
    QTest::newRow("another port is another collector")
        << QStringList{"small", "small:44322"} << QStringList{"small", "small:44322"};
    QTest::newRow("none") << QStringList{} << QStringList{};
}

// A row per computer, and the list is kept as the one last used.
void tst_ComputersWindow::rowsEachComputerOnce() {
    QFETCH(QStringList, list);
    QFETCH(QStringList, rows);
    Fixture f;
    f.window->showComputers(list);
    QCOMPARE(f.window->table().computers(), rows);
    QCOMPARE(StoredComputers(f.store), rows);
    // A window opened later (the menu's "Computers…") shows the list kept.
    ComputersWindow again({{f.links, program::ComputerSummary, 8}, f.store, nullptr});
    again.Form_Load();
    QCOMPARE(again.table().computers(), rows);
}

void tst_ComputersWindow::sortsMemoryByNumber() {
    Fixture f;
    f.window->showComputers({"middle", "small", "large"});
    QTRY_VERIFY(f.allRead());
    // As texts "9216" would come after "10240"; as numbers it comes before.
    f.table()->sortByColumn(static_cast<int>(ComputerColumn::TotalMb), Qt::AscendingOrder);
    QCOMPARE(f.shownNames(), (QStringList{"small", "middle", "large"}));
    f.table()->sortByColumn(static_cast<int>(ComputerColumn::AvailableMb), Qt::DescendingOrder);
    QCOMPARE(f.shownNames(), (QStringList{"large", "middle", "small"}));
    f.table()->sortByColumn(static_cast<int>(ComputerColumn::Processor), Qt::AscendingOrder);
    QCOMPARE(f.shownNames(), (QStringList{"small", "middle", "large"})); // Atom, Ryzen, Xeon
}

void tst_ComputersWindow::filterMatchesAnyColumn_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("a name") << "LARG" << QStringList{"large"};
    QTest::newRow("a processor") << "ryzen" << QStringList{"middle"};
    QTest::newRow("a memory figure") << memoryFigure(10240 * MiB) << QStringList{"large"};
    QTest::newRow("the state") << "not answering" << QStringList{"down"};
    QTest::newRow("nothing") << "" << QStringList{"down", "large", "middle"};
    QTest::newRow("no row") << "sparc" << QStringList{};
}

void tst_ComputersWindow::filterMatchesAnyColumn() {
    QFETCH(QString, filter);
    QFETCH(QStringList, shown);
    Fixture f;
    f.window->showComputers({"large", "middle", "down"});
    QTRY_VERIFY(f.allRead());
    f.window->findChild<QLineEdit*>("filter")->setText(filter);
    QCOMPARE(f.shownNames(), shown);
}

// A computer that cannot be reached says why, in its own row; the others
// answer.
void tst_ComputersWindow::silentComputerSaysWhy() {
    Fixture f;
    f.window->showComputers({"down", "small"});
    QTRY_VERIFY(f.allRead());
    QCOMPARE(f.cell(0, ComputerColumn::Name), QStringLiteral("down"));
    QCOMPARE(f.cell(0, ComputerColumn::State), QStringLiteral("Not answering: No route to host"));
    QCOMPARE(f.cell(0, ComputerColumn::TotalMb), QString());
    QCOMPARE(f.cell(1, ComputerColumn::State), QStringLiteral("Answering"));
    QCOMPARE(f.cell(1, ComputerColumn::Processor), QStringLiteral("Atom"));
}

// Copy gives the rows shown, filtered and in the order shown, as the report
// writes a table.
void tst_ComputersWindow::copyGivesTheRowsShown() {
    Fixture f;
    f.window->showComputers({"small", "large", "middle", "down"});
    QTRY_VERIFY(f.allRead());
    f.window->findChild<QLineEdit*>("filter")->setText("l"); // all but "down"

    f.table()->sortByColumn(static_cast<int>(ComputerColumn::TotalMb), Qt::DescendingOrder);
    f.click("copy");
    const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
    QCOMPARE(lines.size(), 5); // the titles, three rows, and the last line's end
    QCOMPARE(lines[0], ComputerColumnTitles().join(u'\t'));
    const QStringList large = lines[1].split(u'\t');
    QCOMPARE(large.size(), kComputerColumns);
    QCOMPARE(large[0], QStringLiteral("large"));
    QCOMPARE(large[2], QStringLiteral("Xeon"));
    QCOMPARE(large[6], QStringLiteral("Answering"));
    QVERIFY(lines[2].startsWith("middle\t"));
    QVERIFY(lines[3].startsWith("small\t"));
    QCOMPARE(lines[4], QString());
}

void tst_ComputersWindow::doubleClickOpensThatComputer() {
    Fixture f;
    f.window->showComputers({"\\\\small", "large"});
    QTableView* table = f.table();
    const QModelIndex large = table->model()->index(0, 0); // sorted by name
    QCOMPARE(large.data().toString(), QStringLiteral("large"));
    const QPoint small = table->visualRect(table->model()->index(1, 2)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, small); // as a double click begins
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, small);
    QCOMPARE(f.opened, QStringList{"small"}); // as the links take its name
}

void tst_ComputersWindow::addAndRemoveUpdateTheStoredList_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("status"); // a pattern
    QTest::newRow("a name") << "large" << QStringList{"small", "large"} << "";
    QTest::newRow("with a port and backslashes")
        << " \\\\large:44322 " << QStringList{"small", "large:44322"} << "";
    QTest::newRow("one in the list") << "SMALL" << QStringList{"small"} << ".*already.*";
    QTest::newRow("a port that is none")
        << "large:65536" << QStringList{"small"} << "large:65536: .+";
    QTest::newRow("nothing typed") << "  " << QStringList{"small"} << ".+";
}

void tst_ComputersWindow::addAndRemoveUpdateTheStoredList() {
    QFETCH(QString, typed);
    QFETCH(QStringList, stored);
    QFETCH(QString, status);
    Fixture f;
    f.window->showComputers({"small"});
    f.typed.push_back(typed);
    f.click("add");
    QCOMPARE(StoredComputers(f.store), stored);
    QCOMPARE(f.window->table().computers(), stored);
    const QString said = f.window->findChild<QLabel*>("status")->text();
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(status)).match(said).hasMatch(),
             qPrintable(said));
    // Remove takes the selected rows out of the list kept.
    f.table()->selectAll();
    f.click("remove");
    QCOMPARE(StoredComputers(f.store), QStringList());
    QCOMPARE(f.table()->model()->rowCount(), 0);
}

// With room for two links, the rows past them wait their turn, and every
// row is read in turn; never more than two links are held.
void tst_ComputersWindow::rowsPastTheLinksWaitTheirTurn() {
    Fixture f(2);
    std::size_t most = 0;
    connect(&f.window->table(), &QAbstractItemModel::dataChanged, this,
            [&] { most = std::max(most, f.window->table().linksHeld()); });
    f.window->showComputers({"small", "large", "middle", "down", "small:2", "large:2"});
    QCOMPARE(f.window->table().linksHeld(), std::size_t{2});
    QCOMPARE(f.cell(5, ComputerColumn::State),
             QStringLiteral("Waiting its turn")); // sorted: small:2
    QTRY_VERIFY(f.allRead());
    QVERIFY(most <= 2);
    QCOMPARE(f.cell(3, ComputerColumn::State), QStringLiteral("Answering")); // middle
    QCOMPARE(f.cell(0, ComputerColumn::State), QStringLiteral("Not answering: No route to host"));
}

QTEST_MAIN(tst_ComputersWindow)
#include "tst_ComputersWindow.moc"
