#pragma once

#include <QWidget>

class QTextBrowser;

namespace scalino {

// The about tab: what the program is and how to begin, then the version line
// ("Version", the version, the release date, the operating system and the architecture).
// Links open in the user's browser.
class AboutPanel : public QWidget {
    Q_OBJECT
public:
    explicit AboutPanel(QWidget* parent = nullptr);
    QTextBrowser* aboutPane() const { return aboutPane_; }

private:
    QTextBrowser* aboutPane_;
};

}  // namespace scalino
