#pragma once
#include "platform/PerfCounters.h"

#include <QDialog>

#include <vector>

class QCloseEvent;
class QComboBox;
class QLabel;
class QListWidget;
class QRadioButton;

namespace ombrix {

// Lets the user pick counters: a performance object, its counters and its
// instances, with the explanation of the counter in focus. "Add" hands the
// choice over and leaves the browser open for more.
class CounterBrowser : public QDialog {
    Q_OBJECT
public:
    explicit CounterBrowser(platform::PerfCounters& counters, QWidget* parent = nullptr);

    // The paths the current choice names.
    std::vector<platform::CounterPath> chosenPaths() const;

signals:
    void countersChosen(const std::vector<ombrix::platform::CounterPath>& paths);

public:
    // Escape and the close box end the dialog like its own buttons do.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    const platform::ObjectInfo* currentObject() const;
    void objectChanged();
    void showExplanation();

    platform::PerfCounters& m_counters;
    QComboBox* m_object = nullptr;
    QRadioButton* m_allCounters = nullptr;
    QListWidget* m_counterList = nullptr;
    QRadioButton* m_allInstances = nullptr;
    QRadioButton* m_selectInstances = nullptr;
    QListWidget* m_instanceList = nullptr;
    QLabel* m_explain = nullptr;
};

} // namespace ombrix
