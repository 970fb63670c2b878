#pragma once
#include "main_window/SummaryFacts.h"
#include "platform/ComputerFacts.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace ombrix {
namespace platform {
class ComputerLink;
class RemoteComputers;
} // namespace platform

// The Computers window's columns.
enum class ComputerColumn { Name, Os, Processor, TotalMb, AvailableMb, IpAddress, State };
inline constexpr int kComputerColumns = 7;

// How often the rows are read again: as often as the main window of
// another computer reads its readings.
inline constexpr std::chrono::milliseconds kComputersRefresh{5000};

// What a row shows of its computer: the main window's facts from its last
// reading, and whether it answers.
struct ComputerRow {
    enum class State { Waiting, Asking, Answering, Silent };
    QString name; // as the links take it (computerAddress)
    std::optional<SummaryFacts> facts;
    std::optional<std::uint64_t> totalBytes; // for sorting by number
    std::optional<std::uint64_t> availableBytes;
    State state = State::Waiting;
    QString why; // Silent: the link's reason
};

QStringList ComputerColumnTitles();
// "Answering", "Not answering: <why>", "Waiting its turn", "Asking".
QString ComputerStateText(const ComputerRow& row);
// The row's texts, a column each; empty where nothing was read.
QStringList ComputerRowTexts(const ComputerRow& row);

// One row per computer, each read over its link on the link's own thread:
// the model never waits on the network, and a row changes alone
// (dataChanged) as its answer comes. At most mostAtOnce links are held at
// once; the rows past them wait their turn, and while any waits, a row
// that has its answer gives its link up to the next in line and queues
// again at the next refresh, so every row is read in turn, once a period
// at most.
class ComputerTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The role by which the columns sort: the memory figures as numbers,
    // the others as their text.
    static constexpr int SortRole = Qt::UserRole;

    struct Services {
        platform::RemoteComputers& links;
        // The main window's facts from a computer's reading.
        std::function<SummaryFacts(const QString& computer, platform::RemoteFacts facts)> summaryOf;
        std::size_t mostAtOnce = 1; // links held at once, at least one
        std::chrono::milliseconds refresh = kComputersRefresh;
    };

    explicit ComputerTableModel(Services services, QObject* parent = nullptr);
    ~ComputerTableModel() override;

    // Replaces the rows (each computer once) and starts reading them.
    void setComputers(const QStringList& names);
    // Adds a row at the end; false when that computer has one already.
    bool addComputer(const QString& name);
    void removeComputer(int row);
    QStringList computers() const;
    const ComputerRow& row(int index) const { return m_rows.at(index)->row; }
    // Links held now.
    std::size_t linksHeld() const { return m_held; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Entry {
        ComputerRow row;
        std::shared_ptr<platform::ComputerLink> link;
        bool asking = false;
    };
    int indexOf(const Entry* entry) const;
    void changed(const Entry* entry);
    void fill();
    void ask(const std::shared_ptr<Entry>& entry);
    void answered(const std::shared_ptr<Entry>& entry, QString failure,
                  std::optional<platform::RemoteFacts> facts);
    void release(Entry& entry);
    void refreshAll();

    Services m_services;
    std::vector<std::shared_ptr<Entry>> m_rows;
    std::deque<std::weak_ptr<Entry>> m_waiting; // for a link, in turn
    std::vector<std::weak_ptr<Entry>> m_rested; // read this period; wait for the next
    std::size_t m_held = 0;
    QTimer* m_timer;
};

} // namespace ombrix
