#pragma once

#include <QWidget>

class QPushButton;

namespace scalino {

// The start tab: one button that fills it, Start while disconnected and Stop while connected.
class StartPanel : public QWidget {
    Q_OBJECT
public:
    explicit StartPanel(QWidget* parent = nullptr);
    void showConnected(bool connected);
    QPushButton* startStopJButton() const { return startStopJButton_; }

signals:
    void startStopRequested();

private:
    QPushButton* startStopJButton_;
};

}  // namespace scalino
