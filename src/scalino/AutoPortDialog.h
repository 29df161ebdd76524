#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "worker/AutoPortWorkerView.h"
#include "worker/UiExecutor.h"
#include "worker/WeightWorker.h"

class QPushButton;
class QTextEdit;

namespace scalino {

class AutoPortWorker;

// Runs the automatic port detection and shows its messages. The search starts when the dialog
// is created; its one button cancels the search while it runs and closes the dialog once it has
// ended. The window's close control (and Escape) cancels a running search and closes at once.
// The opener shows it modally (exec) and destroys it afterwards. Once closed or destroyed, nothing
// of the search reaches the dialog or the port selection any more; the destructor waits for the
// search thread to stop.
class AutoPortDialog : public QDialog, public AutoPortWorkerView {
    Q_OBJECT

public:
    // Selects the proposed port, given by its friendly name ("/dev/ttyUSB0: description -
    // maker", or the plain name when the port has none), in the window's port list.
    using PortSelector = std::function<void(const std::string& friendlyPortName)>;

    // ports: the candidates in discovery order. executor: runs the search's steps on the GUI
    // thread and must outlive the dialog. Without an opener the ports go through the process's
    // serial driver.
    AutoPortDialog(QWidget* parent, std::vector<std::string> ports, PortSelector selectPort,
                   UiExecutor& executor, PortOpener opener = {});
    ~AutoPortDialog() override;

    void setButtonToCancel() override;
    void setButtonToClose() override;
    void setPort(const std::string& portName) override;
    void update(const std::string& message, bool emphasised) override;
    using QWidget::update;

    // Every way of closing comes here: the button, Escape and the window's close control.
    void done(int result) override;

private:
    void okButtonActionPerformed();
    void stopSearch();

    QTextEdit* textPane1_;
    QPushButton* okButton_;
    PortSelector selectPort_;
    GuardedExecutor executor_;  // steps posted by the search reach the dialog only while open
    std::shared_ptr<AutoPortWorker> worker_;
    bool searching_ = false;  // from setButtonToCancel until the search ends or is cancelled
    bool messageShown_ = false;
};

}  // namespace scalino
