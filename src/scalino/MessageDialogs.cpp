#include "scalino/MessageDialogs.h"

#include <QMessageBox>

namespace scalino::dialogs {
namespace {

QMessageBox::StandardButton ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                const QString& message, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, message, buttons, parent);
    box.setObjectName("messageBox");
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void showError(QWidget* parent, const QString& title, const QString& message) {
    ask(parent, QMessageBox::Critical, title, message, QMessageBox::Ok, QMessageBox::Ok);
}

void showWarning(QWidget* parent, const QString& title, const QString& message) {
    ask(parent, QMessageBox::Warning, title, message, QMessageBox::Ok, QMessageBox::Ok);
}

void showInformation(QWidget* parent, const QString& title, const QString& message) {
    ask(parent, QMessageBox::Information, title, message, QMessageBox::Ok, QMessageBox::Ok);
}

bool askOkCancel(QWidget* parent, const QString& title, const QString& message) {
    return ask(parent, QMessageBox::Question, title, message, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Ok) == QMessageBox::Ok;
}

bool askYesNo(QWidget* parent, const QString& title, const QString& message) {
    return ask(parent, QMessageBox::Question, title, message, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes) == QMessageBox::Yes;
}

}  // namespace scalino::dialogs
