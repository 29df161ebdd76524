#include "scalino/AutoPortDialog.h"

#include <QFont>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "rs232/FriendlyPortUtil.h"
#include "scalino/QtText.h"
#include "worker/AutoPortWorker.h"

namespace scalino {
namespace {

QTextCharFormat messageFormat(bool emphasised) {
    QTextCharFormat format;
    format.setFontWeight(emphasised ? QFont::Bold : QFont::Normal);
    return format;
}

}  // namespace

AutoPortDialog::AutoPortDialog(QWidget* parent, std::vector<std::string> ports,
                               PortSelector selectPort, UiExecutor& executor, PortOpener opener)
    : QDialog(parent),
      textPane1_(new QTextEdit),
      okButton_(new QPushButton),
      selectPort_(std::move(selectPort)),
      executor_(executor) {
    setObjectName(QStringLiteral("AutoPortDialog"));
    setWindowTitle(QStringLiteral("Auto-detect port"));
    setModal(true);

    textPane1_->setObjectName(QStringLiteral("textPane1"));
    textPane1_->setReadOnly(true);
    // Named before its first caption, so that whoever watches the button sees every caption.
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setText(QStringLiteral("OK"));
    okButton_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(textPane1_, 1);
    layout->addLayout(buttons);
    resize(480, 320);

    connect(okButton_, &QPushButton::clicked, this, &AutoPortDialog::okButtonActionPerformed);

    worker_ =
        std::make_shared<AutoPortWorker>(*this, std::move(ports), executor_, std::move(opener));
    worker_->start();
}

AutoPortDialog::~AutoPortDialog() {
    worker_->cancel(true);
    // The search thread posts through executor_ until it ends; what it posted after that finds
    // the guard closed.
    worker_->waitForWorkStep();
    executor_.close();
}

void AutoPortDialog::setButtonToCancel() {
    searching_ = true;
    okButton_->setText(QStringLiteral("Cancel"));
}

void AutoPortDialog::setButtonToClose() {
    searching_ = false;
    okButton_->setText(QStringLiteral("Close"));
}

void AutoPortDialog::setPort(const std::string& portName) {
    // The window lists its ports by their friendly names.
    if (selectPort_) selectPort_(FriendlyPortUtil::getFriendlyPortName(portName));
}

void AutoPortDialog::update(const std::string& message, bool emphasised) {
    QTextCursor cursor(textPane1_->document());
    cursor.movePosition(QTextCursor::End);
    if (messageShown_) cursor.insertBlock();
    cursor.insertText(toQString(message), messageFormat(emphasised));
    messageShown_ = true;
    textPane1_->setTextCursor(cursor);
    textPane1_->ensureCursorVisible();
}

void AutoPortDialog::okButtonActionPerformed() {
    if (!searching_) {
        accept();
        return;
    }
    // The dialog stays open so that the messages can still be read.
    stopSearch();
    okButton_->setText(QStringLiteral("Close"));
}

void AutoPortDialog::done(int result) {
    stopSearch();
    // A closed dialog shows nothing more and selects no port.
    executor_.close();
    QDialog::done(result);
}

void AutoPortDialog::stopSearch() {
    if (!searching_) return;
    searching_ = false;
    worker_->cancel(true);
}

}  // namespace scalino
