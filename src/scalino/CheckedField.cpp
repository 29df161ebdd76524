#include "scalino/CheckedField.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTimer>

#include "scalino/MessageDialogs.h"
#include "scalino/QtText.h"

namespace scalino {

CheckedField::CheckedField(const QString& name, std::string errorKey, Check check, Store store,
                           Normalise normalise)
    : errorKey_(std::move(errorKey)),
      check_(std::move(check)),
      store_(std::move(store)),
      normalise_(std::move(normalise)) {
    setObjectName(name);
}

bool CheckedField::verify() {
    std::string value = fromQString(text());
    if (normalise_) value = normalise_(value);
    if (value.empty() || check_(value)) {
        store_(value);
        return true;
    }
    dialogs::showError(window(), windowText("error"), windowText(errorKey_));
    return false;
}

// Qt cannot refuse a focus change, so the check runs just after it and brings the focus back.
// A dialog already open (another field's error) is answered first.
void CheckedField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    QTimer::singleShot(0, this, [this] {
        if (QApplication::activeModalWidget() != nullptr) return;
        if (!verify()) setFocus(Qt::OtherFocusReason);
    });
}

}  // namespace scalino
