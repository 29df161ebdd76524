#pragma once

#include <QWidget>

#include <string>

#include "config/Config.h"

class QComboBox;
class QLineEdit;

namespace scalino {

class CheckedField;
class ConfigSignals;
class DecimalSeparatorBox;
class PanelForm;

// The output tab: decimal separator, the keys typed after and before each value, the sound,
// the keyboard layout (for the desktop's layout, its XKB name), the way keys are sent and the
// pause between keystrokes. Every call is made on the GUI thread.
class OutputPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kDefaultDelay = "20";

    OutputPanel(Config& config, ConfigSignals& configSignals, QWidget* parent = nullptr);

    // The layout, its name, the keyboard output and the delay (name and delay after their
    // checks).
    void gatherKeyboard();
    // Separator, start key, end key and sound.
    void gatherOutput();
    // A layout name given elsewhere (when connecting): into the settings and the field.
    void setXkbLayout(const std::string& layout);

private:
    void buildControls(ConfigSignals& configSignals);
    void buildXkbLayoutField(PanelForm& form);
    void fillFromConfig();
    // The name applies only to the desktop's layout.
    void enableXkbLayout();
    bool delayIsValid() const;
    void checkDelay();

    Config& config_;
    bool delayErrorShown_ = false;
    DecimalSeparatorBox* decimalSeparatorBox_;
    QComboBox* outputTerminatorBox_;
    QComboBox* soundComboBox_;
    QComboBox* keyboardTypeBox_;
    CheckedField* xkbLayoutTextField_;
    QComboBox* keyboardOutputBox_;
    QComboBox* startWithBox_;
    QLineEdit* delayTextField_;
};

}  // namespace scalino
