#include "scalino/PanelForm.h"

#include <QFrame>
#include <QLabel>

namespace scalino {

namespace {
constexpr int kToolTipMs = 10000;
}

void setToolTipKey(QWidget* widget, std::string_view key) {
    widget->setToolTip(windowText(key));
    widget->setToolTipDuration(kToolTipMs);
}

QLabel* captionLabel(std::string_view key) {
    auto* label = new QLabel(windowText(key));
    const size_t first = key.find('.');
    const size_t last = key.rfind('.');
    if (first != std::string_view::npos && last > first) {
        label->setObjectName(toQString(key.substr(first + 1, last - first - 1)));
    }
    return label;
}

QWidget* separator(const QString& name) {
    auto* line = new QFrame;
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

PanelForm::PanelForm(QWidget* panel) : grid_(new QGridLayout(panel)) {
    grid_->setColumnStretch(1, 1);
}

void PanelForm::addRow(std::string_view captionKey, QWidget* control) {
    addRow(captionKey.empty() ? nullptr : captionLabel(captionKey), control);
}

void PanelForm::addRow(QLabel* caption, QWidget* control) {
    if (caption != nullptr) {
        caption->setBuddy(control);
        grid_->addWidget(caption, rows_, 0);
    }
    grid_->addWidget(control, rows_, 1, Qt::AlignLeft);
    ++rows_;
}

void PanelForm::addWide(QWidget* widget) {
    grid_->addWidget(widget, rows_++, 0, 1, 2);
}

void PanelForm::finish() {
    grid_->setRowStretch(rows_, 1);
}

}  // namespace scalino
