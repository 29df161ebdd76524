#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

class QDialog;

namespace scalino::test {

// Answers the modal dialogs that open while it exists, as a person would, so that no test is
// left hanging in a dialog's event loop. A message box is recorded (title and text) and answered
// with a button; any other modal dialog is handed to the dialog handler, if one is set. Both run
// from the dialog's own event loop, once it is shown.
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    struct MessageBox {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    // Presses answer in every message box, unless answerNextWith queued another button.
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~ModalAnswerer() override;

    // The next message box not yet answered gets this button; calls queue up.
    void answerNextWith(QMessageBox::StandardButton button);

    // Drives every other modal dialog (a QDialog that is not a message box): typing, clicking.
    // A dialog still open when the handler returns is rejected, so that its opener goes on.
    void handleDialogs(std::function<void(QDialog& dialog)> handler);

    // The message boxes answered so far, in order.
    const std::vector<MessageBox>& messageBoxes() const { return boxes_; }
    void clear() { boxes_.clear(); }

    // Runs the event loop until count message boxes have been answered in all; false when the
    // time-out passed first.
    bool waitForMessageBoxes(std::size_t count,
                             std::chrono::milliseconds timeout = std::chrono::seconds(30));

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void answer(const QPointer<QMessageBox>& box);
    void drive(const QPointer<QDialog>& dialog);

    QMessageBox::StandardButton answer_;
    std::deque<QMessageBox::StandardButton> nextAnswers_;
    std::function<void(QDialog&)> dialogHandler_;
    std::vector<MessageBox> boxes_;
};

}  // namespace scalino::test
