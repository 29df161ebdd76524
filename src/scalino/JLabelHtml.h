#pragma once

#include <QLabel>

namespace scalino {

// A label whose web address can be clicked to open it in the browser. Where browsing is
// supported it makes itself linkable at construction; the hand cursor shows only while its text
// is a hyperlink text. Elsewhere it is a plain label.
class JLabelHtml : public QLabel {
    Q_OBJECT

public:
    explicit JLabelHtml(const QString& text = QString(), QWidget* parent = nullptr);

    bool isLinkable() const { return linkable_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool linkable_ = false;
};

}  // namespace scalino
