#pragma once

#include <QComboBox>
#include <QGridLayout>
#include <QString>

#include <string_view>

#include "config/ConfigHelper.h"
#include "scalino/QtText.h"

class QLabel;

// Building blocks of the window's tabs: captions and tooltips from the window's bundle, combo
// boxes of a settings enumeration, and a two-column form.
namespace scalino {

// The tooltip of the key, shown for 10 seconds.
void setToolTipKey(QWidget* widget, std::string_view key);
// A caption with the text of the key; its object name is the key's middle part
// ("VozevuZaDezFrame2.label3.text" gives "label3").
QLabel* captionLabel(std::string_view key);
// A thin horizontal line between groups of controls.
QWidget* separator(const QString& name);

// Rows of caption and control, top-aligned, with a stretch below.
class PanelForm {
public:
    explicit PanelForm(QWidget* panel);
    // A row with a caption (empty key: none) and the control; returns the control.
    template <typename W>
    W* row(std::string_view captionKey, W* control) {
        addRow(captionKey, control);
        return control;
    }
    void addRow(std::string_view captionKey, QWidget* control);
    void addRow(QLabel* caption, QWidget* control);
    void addWide(QWidget* widget);
    void finish();

private:
    QGridLayout* grid_;
    int rows_ = 0;
};

// Every constant of the enumeration, in declaration order, by its display text.
template <typename E>
QComboBox* enumComboBox(const QString& name) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    for (E value : ConfigHelper::values<E>())
        box->addItem(toQString(ConfigHelper::toString(value)));
    return box;
}

template <typename E>
E selectedConstant(const QComboBox* box) {
    const int index = box->currentIndex();
    if (!ConfigHelper::isValidPosition<E>(index)) return ConfigHelper::getDefault<E>();
    return static_cast<E>(index);
}

template <typename E>
void selectConstant(QComboBox* box, E value) {
    box->setCurrentIndex(ConfigHelper::ordinal(value));
}

}  // namespace scalino
