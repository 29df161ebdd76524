#include "scalino/ModalAnswerer.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTest>
#include <QTimer>

namespace scalino::test {

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    QApplication::instance()->installEventFilter(this);
}

ModalAnswerer::~ModalAnswerer() {
    QApplication::instance()->removeEventFilter(this);
}

void ModalAnswerer::answerNextWith(QMessageBox::StandardButton button) {
    nextAnswers_.push_back(button);
}

void ModalAnswerer::handleDialogs(std::function<void(QDialog&)> handler) {
    dialogHandler_ = std::move(handler);
}

bool ModalAnswerer::waitForMessageBoxes(std::size_t count, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor([&] { return boxes_.size() >= count; },
                           static_cast<int>(timeout.count()));
}

bool ModalAnswerer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show) return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog == nullptr || !dialog->isWindow() || !dialog->isModal()) return false;
    // The dialog's event loop starts after it is shown: a step queued now runs inside it.
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        QTimer::singleShot(0, this,
                           [this, guarded = QPointer<QMessageBox>(box)] { answer(guarded); });
    } else if (dialogHandler_) {
        QTimer::singleShot(0, this,
                           [this, guarded = QPointer<QDialog>(dialog)] { drive(guarded); });
    }
    return false;
}

void ModalAnswerer::answer(const QPointer<QMessageBox>& box) {
    if (box.isNull() || !box->isVisible()) return;
    boxes_.push_back({box->windowTitle(), box->text(), box->icon()});
    QMessageBox::StandardButton wanted = answer_;
    if (!nextAnswers_.empty()) {
        wanted = nextAnswers_.front();
        nextAnswers_.pop_front();
    }
    if (QAbstractButton* button = box->button(wanted)) {
        QTest::mouseClick(button, Qt::LeftButton);
        return;
    }
    ADD_FAILURE() << "The message box \"" << box->text().toStdString() << "\" has no button "
                  << wanted;
    box->reject();
}

void ModalAnswerer::drive(const QPointer<QDialog>& dialog) {
    if (dialog.isNull() || !dialog->isVisible()) return;
    dialogHandler_(*dialog);
    if (!dialog.isNull() && dialog->isVisible()) dialog->reject();
}

}  // namespace scalino::test
