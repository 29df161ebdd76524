#include "scalino/StartPanel.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "scalino/PanelForm.h"

namespace scalino {

StartPanel::StartPanel(QWidget* parent) : QWidget(parent), startStopJButton_(new QPushButton) {
    setObjectName("panel1");
    startStopJButton_->setObjectName("startStopJButton");
    startStopJButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont large = startStopJButton_->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    large.setBold(true);
    startStopJButton_->setFont(large);
    setToolTipKey(startStopJButton_, "VozevuZaDezFrame2.startStopJButton.toolTipText");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(startStopJButton_);
    showConnected(false);
    connect(startStopJButton_, &QPushButton::clicked, this, &StartPanel::startStopRequested);
}

void StartPanel::showConnected(bool connected) {
    startStopJButton_->setText(windowText(connected ? "VozevuZaDezFrame2.startStopJButton.textStop"
                                                    : "VozevuZaDezFrame2.startStopJButton.text"));
}

}  // namespace scalino
