#pragma once

#include <QWidget>

#include "config/Config.h"

class QCheckBox;
class QComboBox;

namespace scalino {

class CheckedField;
class ConfigSignals;

// The processing tab: math operation and operand, decimal places and rounding, editing,
// characters to remove and duplicate suppression. Every call is made on the GUI thread.
class ProcessingPanel : public QWidget {
    Q_OBJECT
public:
    ProcessingPanel(Config& config, ConfigSignals& configSignals, QWidget* parent = nullptr);

    // Stores every control, each text field after its check.
    void gather();
    // A math operation without an operand is switched off; a division without decimal places
    // gets its warning, on this tab with the focus in the decimal places.
    void applyConsistencyRules();

signals:
    void showRequested();

private:
    void buildControls(ConfigSignals& configSignals);
    void fillFromConfig();
    void mathOperationChanged(int index);
    void warnDivisionWithoutRounding();
    void adjustIgnore();

    Config& config_;
    bool mathRoundingErrorWarningDisplayed_ = false;
    QComboBox* mathOperationBox_;
    CheckedField* mathOperandTextField_;
    CheckedField* decimalTextField_;
    QComboBox* roundingMethodBox_;
    QComboBox* editOperationComboBox_;
    QComboBox* editPositionComboBox_;
    CheckedField* editNumCharactersTextField_;
    CheckedField* removeCharactersTextField_;
    QCheckBox* ignoreDuplicatesCheckBox_;
};

}  // namespace scalino
