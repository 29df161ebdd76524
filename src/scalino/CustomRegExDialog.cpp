#include "scalino/CustomRegExDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include "config/ConfigHelper.h"
#include "scalino/OpenHyperlinkInBrowser.h"
#include "scalino/QtText.h"
#include "scalino/StorableText.h"

namespace scalino {
namespace {

QLabel* namedLabel(const char* name) {
    auto* label = new QLabel(windowText(std::string("CustomRegExDialog.") + name + ".text"));
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

// The text as typed: toPlainText would turn a no-break space into a plain one, and an expression
// opened and confirmed unchanged must come back unchanged.
QString typedText(const QPlainTextEdit& area) {
    return area.document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

}  // namespace

CustomRegExDialog::CustomRegExDialog(QWidget* parent, const std::string& regEx)
    : QDialog(parent),
      regExTextArea_(new QPlainTextEdit(toQString(regEx))),
      label4_(namedLabel("label4")),
      okButton_(new QPushButton(QStringLiteral("OK"))),
      cancelButton_(new QPushButton(windowText("CustomRegExDialog.cancelButton.text"))),
      regEx_(regEx) {
    setObjectName(QStringLiteral("CustomRegExDialog"));
    setWindowTitle(windowText("CustomRegExDialog.this.title"));
    setModal(true);

    regExTextArea_->setObjectName(QStringLiteral("regExTextArea"));
    // Where no browser can be started the address stays plain text, to be copied by hand.
    if (OpenHyperlinkInBrowser::isBrowsingSupported()) {
        OpenHyperlinkInBrowser::makeLinkable(label4_);
    } else {
        label4_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    okButton_->setObjectName(QStringLiteral("okButton"));
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(namedLabel("label2"));
    layout->addWidget(namedLabel("label3"));
    layout->addWidget(regExTextArea_, 1);
    layout->addWidget(label4_);
    layout->addLayout(buttons);
    resize(520, 260);

    connect(okButton_, &QPushButton::clicked, this, &CustomRegExDialog::okButtonActionPerformed);
    connect(cancelButton_, &QPushButton::clicked, this,
            &CustomRegExDialog::cancelButtonActionPerformed);
}

void CustomRegExDialog::okButtonActionPerformed() {
    const std::string text = fromQString(typedText(*regExTextArea_));
    if (!ConfigHelper::CustomRegEx::isValid(text) || !isStorableText(text)) {
        QMessageBox::critical(this, windowText("error"), windowText("invalid.expression"));
        return;
    }
    regEx_ = text;
    accept();
}

void CustomRegExDialog::cancelButtonActionPerformed() {
    reject();
}

}  // namespace scalino
