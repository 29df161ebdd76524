#pragma once

#include <QWidget>

#include "config/Config.h"

class QComboBox;
class QLineEdit;

namespace scalino {

class ConfigSignals;
class DecimalSeparatorBox;

// The output tab: decimal separator, the keys typed after and before each value, the sound,
// the keyboard layout and the pause between keystrokes. Every call is made on the GUI thread.
class OutputPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kDefaultDelay = "20";

    OutputPanel(Config& config, ConfigSignals& configSignals, QWidget* parent = nullptr);

    // The layout and the delay (after its check).
    void gatherKeyboard();
    // Separator, start key, end key and sound.
    void gatherOutput();

private:
    void buildControls(ConfigSignals& configSignals);
    void fillFromConfig();
    bool delayIsValid() const;
    void checkDelay();

    Config& config_;
    bool delayErrorShown_ = false;
    DecimalSeparatorBox* decimalSeparatorBox_;
    QComboBox* outputTerminatorBox_;
    QComboBox* soundComboBox_;
    QComboBox* keyboardTypeBox_;
    QComboBox* startWithBox_;
    QLineEdit* delayTextField_;
};

}  // namespace scalino
