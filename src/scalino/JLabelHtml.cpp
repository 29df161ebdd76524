#include "scalino/JLabelHtml.h"

#include "scalino/OpenHyperlinkInBrowser.h"
#include "scalino/QtText.h"

namespace scalino {

JLabelHtml::JLabelHtml(const QString& text, QWidget* parent) : QLabel(text, parent) {
    if (OpenHyperlinkInBrowser::isBrowsingSupported()) {
        OpenHyperlinkInBrowser::makeLinkable(this);
        linkable_ = true;
    }
}

// QLabel::setText cannot be overridden: the cursor follows the text when it is painted.
void JLabelHtml::paintEvent(QPaintEvent* event) {
    const bool hyperlink =
        linkable_ && OpenHyperlinkInBrowser::containsHyperlink(fromQString(text()));
    if (hyperlink && cursor().shape() != Qt::PointingHandCursor) {
        setCursor(Qt::PointingHandCursor);
    } else if (!hyperlink && testAttribute(Qt::WA_SetCursor)) {
        unsetCursor();
    }
    QLabel::paintEvent(event);
}

}  // namespace scalino
