#pragma once
#include "app/NotCarriedLine.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QCloseEvent;
class QListWidget;
class QPushButton;
namespace ombrix {

class clsRegistryAccess;
namespace platform {
class Registry;
}

// "Network Check": the machine's TCP/IP configuration as the registry
// records it, rebuilt on every press of "Check Network".
class frmNetCheck : public QDialog {
    Q_OBJECT
public:
    // notCarried: another computer's facts that cannot be known, named in a
    // line under the list.
    explicit frmNetCheck(platform::Registry& registry, NotCarriedSource notCarried = {},
                         QWidget* parent = nullptr);
    ~frmNetCheck() override;

    void Form_Load();

    // Whether the window holds its registry access object (loaded, not unloaded).
    bool holdsRegistryAccess() const { return m_access != nullptr; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdNetCheck_Click();
    void cmdClose_Click();
    void Form_Unload();
    // The selected lines in list order, or every line when none is selected.
    QStringList copiedLines() const;

    platform::Registry& m_registry;
    NotCarriedSource m_notCarried;
    std::unique_ptr<clsRegistryAccess> m_access; // lives exactly as long as the loaded window
    QListWidget* List1 = nullptr;
    QPushButton* cmdNetCheck = nullptr;
    QPushButton* cmdClose = nullptr;
};

} // namespace ombrix
