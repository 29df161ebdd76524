#include "scalino/OutputPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "scalino/CheckedField.h"
#include "scalino/DecimalSeparatorBox.h"
#include "scalino/MessageDialogs.h"
#include "scalino/PanelForm.h"

namespace scalino {

using namespace ConfigHelper;

OutputPanel::OutputPanel(Config& config, ConfigSignals& configSignals, QWidget* parent)
    : QWidget(parent), config_(config) {
    setObjectName("outputPanel");
    buildControls(configSignals);
    fillFromConfig();
}

void OutputPanel::buildControls(ConfigSignals& configSignals) {
    PanelForm form(this);
    decimalSeparatorBox_ =
        form.row("VozevuZaDezFrame2.label4.text", new DecimalSeparatorBox(config_, configSignals));
    setToolTipKey(decimalSeparatorBox_, "VozevuZaDezFrame2.decimalSeparatorBox.toolTipText");
    outputTerminatorBox_ = form.row("VozevuZaDezFrame2.label5.text",
                                    enumComboBox<OutputTerminator>("outputTerminatorBox"));
    setToolTipKey(outputTerminatorBox_, "VozevuZaDezFrame2.outputTerminatorBox.toolTipText");
    soundComboBox_ =
        form.row("VozevuZaDezFrame2.label17.text", enumComboBox<Sound>("soundComboBox"));
    setToolTipKey(soundComboBox_, "VozevuZaDezFrame2.soundComboBox.toolTipText");
    QLabel* heading = captionLabel("VozevuZaDezFrame2.label18.text");
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    form.addWide(heading);
    keyboardTypeBox_ =
        form.row("VozevuZaDezFrame2.label23.text", enumComboBox<KeyboardType>("keyboardTypeBox"));
    setToolTipKey(keyboardTypeBox_, "VozevuZaDezFrame2.keyboardTypeBox.toolTipText");
    buildXkbLayoutField(form);
    keyboardOutputBox_ = form.row("VozevuZaDezFrame2.keyboardOutputLabel.text",
                                  enumComboBox<KeyboardOutput>("keyboardOutputBox"));
    setToolTipKey(keyboardOutputBox_, "VozevuZaDezFrame2.keyboardOutputBox.toolTipText");
    form.addWide(separator("separator6"));
    startWithBox_ =
        form.row("VozevuZaDezFrame2.label12.text_2", enumComboBox<StartWith>("startWithBox"));
    setToolTipKey(startWithBox_, "VozevuZaDezFrame2.startWithBox.toolTipText");
    delayTextField_ = new QLineEdit;
    delayTextField_->setObjectName("delayTextField");
    delayTextField_->setMaximumWidth(80);
    setToolTipKey(delayTextField_, "VozevuZaDezFrame2.delayTextField.toolTipText");
    auto* delayRow = new QWidget;
    auto* layout = new QHBoxLayout(delayRow);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(delayTextField_);
    layout->addWidget(captionLabel("VozevuZaDezFrame2.label27.text"));
    layout->addStretch();
    form.addRow("VozevuZaDezFrame2.label26.text", delayRow);
    form.finish();

    connect(decimalSeparatorBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setDecimalSeparator(selectedConstant<DecimalSeparator>(decimalSeparatorBox_));
    });
    connect(outputTerminatorBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setOutputTerminator(selectedConstant<OutputTerminator>(outputTerminatorBox_));
    });
    connect(soundComboBox_, &QComboBox::currentIndexChanged, this,
            [this] { config_.setSound(selectedConstant<Sound>(soundComboBox_)); });
    connect(keyboardTypeBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setKeyboardType(selectedConstant<KeyboardType>(keyboardTypeBox_));
        enableXkbLayout();
    });
    connect(keyboardOutputBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setKeyboardOutput(selectedConstant<KeyboardOutput>(keyboardOutputBox_));
    });
    connect(startWithBox_, &QComboBox::currentIndexChanged, this,
            [this] { config_.setStartWith(selectedConstant<StartWith>(startWithBox_)); });
    // Checked as it is typed: a fourth digit too many is refused at once.
    connect(delayTextField_, &QLineEdit::textChanged, this, &OutputPanel::checkDelay);
}

// Checked when left, like the fields of the processing tab: a name that is none is never
// stored. The field is as wide as its hint, so that the hint can be read whole.
void OutputPanel::buildXkbLayoutField(PanelForm& form) {
    xkbLayoutTextField_ =
        new CheckedField("xkbLayoutTextField", "error.xkb.layout", XkbLayout::isValid,
                         [this](const std::string& text) { config_.setXkbLayout(text); });
    xkbLayoutTextField_->setPlaceholderText(
        windowText("VozevuZaDezFrame2.xkbLayoutTextField.placeholderText"));
    const QFontMetrics metrics = xkbLayoutTextField_->fontMetrics();
    xkbLayoutTextField_->setMinimumWidth(
        metrics.horizontalAdvance(xkbLayoutTextField_->placeholderText()) +
        metrics.averageCharWidth() * 3);
    setToolTipKey(xkbLayoutTextField_, "VozevuZaDezFrame2.xkbLayoutTextField.toolTipText");
    form.row("VozevuZaDezFrame2.xkbLayoutLabel.text", xkbLayoutTextField_);
}

void OutputPanel::enableXkbLayout() {
    xkbLayoutTextField_->setEnabled(selectedConstant<KeyboardType>(keyboardTypeBox_) ==
                                    KeyboardType::DESKTOP);
}

void OutputPanel::fillFromConfig() {
    selectConstant(decimalSeparatorBox_, config_.getDecimalSeparator());
    selectConstant(outputTerminatorBox_, config_.getOutputTerminator());
    selectConstant(soundComboBox_, config_.getSound());
    selectConstant(keyboardTypeBox_, config_.getKeyboardType());
    xkbLayoutTextField_->setText(toQString(config_.getXkbLayout()));
    enableXkbLayout();
    selectConstant(keyboardOutputBox_, config_.getKeyboardOutput());
    selectConstant(startWithBox_, config_.getStartWith());
    const QSignalBlocker blocker(delayTextField_);
    delayTextField_->setText(toQString(config_.getDelay()));
}

bool OutputPanel::delayIsValid() const {
    const std::string text = fromQString(delayTextField_->text());
    return text.empty() || Delay::isValid(text);
}

// The error is shown after the keystroke that caused it has been handled; the field then
// falls back to the usual delay.
void OutputPanel::checkDelay() {
    if (delayIsValid() || delayErrorShown_) return;
    delayErrorShown_ = true;
    QTimer::singleShot(0, this, [this] {
        dialogs::showError(window(), windowText("error"), windowText("error.intercharacter.delay"));
        delayTextField_->setText(kDefaultDelay);
        delayErrorShown_ = false;
    });
}

void OutputPanel::gatherKeyboard() {
    config_.setKeyboardType(selectedConstant<KeyboardType>(keyboardTypeBox_));
    xkbLayoutTextField_->verify();
    config_.setKeyboardOutput(selectedConstant<KeyboardOutput>(keyboardOutputBox_));
    if (!delayIsValid()) {
        // Never stored: the field is about to become the usual delay.
        checkDelay();
        config_.setDelay(kDefaultDelay);
        return;
    }
    config_.setDelay(fromQString(delayTextField_->text()));
}

void OutputPanel::setXkbLayout(const std::string& layout) {
    config_.setXkbLayout(layout);
    xkbLayoutTextField_->setText(toQString(layout));
}

void OutputPanel::gatherOutput() {
    config_.setDecimalSeparator(selectedConstant<DecimalSeparator>(decimalSeparatorBox_));
    config_.setStartWith(selectedConstant<StartWith>(startWithBox_));
    config_.setOutputTerminator(selectedConstant<OutputTerminator>(outputTerminatorBox_));
    config_.setSound(selectedConstant<Sound>(soundComboBox_));
}

}  // namespace scalino
