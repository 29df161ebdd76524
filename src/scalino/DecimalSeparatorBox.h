#pragma once

#include <QComboBox>

namespace scalino {

class Config;
class ConfigSignals;

// The combo box of decimal separators: starts with the stored separator and is enabled only
// while a number instrument is selected.
class DecimalSeparatorBox : public QComboBox {
    Q_OBJECT
public:
    DecimalSeparatorBox(const Config& config, ConfigSignals& configSignals,
                        QWidget* parent = nullptr);
};

}  // namespace scalino
