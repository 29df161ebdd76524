#include "scalino/IgnoreDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/ConfigHelper.h"
#include "scalino/QtText.h"
#include "scalino/StorableText.h"

namespace scalino {
namespace {

QLabel* namedLabel(const QString& text, const char* name) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit* textField(const std::string& text, const char* name) {
    auto* field = new QLineEdit(toQString(text));
    field->setObjectName(QLatin1String(name));
    field->setToolTip(windowText(std::string("IgnoreDialog.") + name + ".toolTipText"));
    return field;
}

bool isValidInput(const std::string& timeLimit, const std::string& difference) {
    return ConfigHelper::IgnoreTimeLimit::isValid(timeLimit) &&
           ConfigHelper::IgnoreDifference::isValid(difference) && isStorableText(timeLimit) &&
           isStorableText(difference);
}

}  // namespace

IgnoreDialog::IgnoreDialog(QWidget* parent, const std::string& ignoreTimeLimit,
                           const std::string& ignoreDifference)
    : QDialog(parent),
      ignoreTimeLimitTextField_(textField(ignoreTimeLimit, "ignoreTimeLimitTextField")),
      ignoreDifferenceTextField_(textField(ignoreDifference, "ignoreDifferenceTextField")),
      okButton_(new QPushButton(QStringLiteral("OK"))),
      cancelButton_(new QPushButton(windowText("IgnoreDialog.cancelButton.text"))),
      ignoreTimeLimit_(ignoreTimeLimit),
      ignoreDifference_(ignoreDifference) {
    setObjectName(QStringLiteral("IgnoreDialog"));
    setWindowTitle(windowText("IgnoreDialog.this.title"));
    setModal(true);

    auto* fields = new QGridLayout;
    fields->addWidget(namedLabel(windowText("IgnoreDialog.label2.text"), "label2"), 0, 0);
    fields->addWidget(ignoreTimeLimitTextField_, 0, 1);
    fields->addWidget(namedLabel(QStringLiteral("ms"), "unitLabel"), 0, 2);
    fields->addWidget(namedLabel(windowText("IgnoreDialog.label3.text"), "label3"), 1, 0);
    fields->addWidget(ignoreDifferenceTextField_, 1, 1);

    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setDefault(true);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &IgnoreDialog::okButtonActionPerformed);
    connect(cancelButton_, &QPushButton::clicked, this, &IgnoreDialog::cancelButtonActionPerformed);
}

void IgnoreDialog::okButtonActionPerformed() {
    const std::string timeLimit = fromQString(ignoreTimeLimitTextField_->text());
    // A decimal comma is what many users type; the setting is kept with a point.
    const std::string difference =
        fromQString(ignoreDifferenceTextField_->text().replace(QLatin1Char(','), QLatin1Char('.')));
    if (!isValidInput(timeLimit, difference)) {
        QMessageBox::critical(this, windowText("error"), windowText("ignore.error"));
        return;
    }
    ignoreTimeLimit_ = timeLimit;
    ignoreDifference_ = difference;
    accept();
}

void IgnoreDialog::cancelButtonActionPerformed() {
    reject();
}

}  // namespace scalino
