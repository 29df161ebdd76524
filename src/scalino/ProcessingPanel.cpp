#include "scalino/ProcessingPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "scalino/CheckedField.h"
#include "scalino/ConfigSignals.h"
#include "scalino/IgnoreDialog.h"
#include "scalino/MessageDialogs.h"
#include "scalino/PanelForm.h"

namespace scalino {
namespace {

using namespace ConfigHelper;

std::string commaAsPoint(const std::string& text) {
    std::string result = text;
    std::replace(result.begin(), result.end(), ',', '.');
    return result;
}

// A field with a note after it.
QWidget* withNote(QWidget* field, std::string_view noteKey) {
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    layout->addWidget(captionLabel(noteKey));
    layout->addStretch();
    return box;
}

}  // namespace

ProcessingPanel::ProcessingPanel(Config& config, ConfigSignals& configSignals, QWidget* parent)
    : QWidget(parent), config_(config) {
    setObjectName("processingPanel");
    buildControls(configSignals);
    fillFromConfig();
}

void ProcessingPanel::buildControls(ConfigSignals& configSignals) {
    PanelForm form(this);
    mathOperationBox_ =
        form.row("VozevuZaDezFrame2.label24.text", enumComboBox<MathOperation>("mathOperationBox"));
    setToolTipKey(mathOperationBox_, "VozevuZaDezFrame2.mathOperationBox.toolTipText");
    mathOperandTextField_ = form.row(
        "VozevuZaDezFrame2.label25.text",
        new CheckedField(
            "mathOperandTextField", "error.math.operand", MathOperand::isValid,
            [this](const std::string& text) { config_.setMathOperand(text); }, commaAsPoint));
    setToolTipKey(mathOperandTextField_, "VozevuZaDezFrame2.mathOperandTextField.toolTipText");
    decimalTextField_ =
        new CheckedField("decimalTextField", "error.decimal.places", DecimalPlaces::isValid,
                         [this](const std::string& text) { config_.setDecimalPlaces(text); });
    setToolTipKey(decimalTextField_, "VozevuZaDezFrame2.decimalTextField.toolTipText");
    form.addRow("VozevuZaDezFrame2.label15.text",
                withNote(decimalTextField_, "VozevuZaDezFrame2.label16.text"));
    roundingMethodBox_ = form.row("VozevuZaDezFrame2.label20.text",
                                  enumComboBox<RoundingMethod>("roundingMethodBox"));
    setToolTipKey(roundingMethodBox_, "VozevuZaDezFrame2.roundingMethodBox.toolTipText");
    editOperationComboBox_ = form.row("VozevuZaDezFrame2.label22.text",
                                      enumComboBox<EditOperation>("editOperationComboBox"));
    editPositionComboBox_ = form.row("VozevuZaDezFrame2.label29.text",
                                     enumComboBox<EditPosition>("editPositionComboBox"));
    editNumCharactersTextField_ = form.row(
        "VozevuZaDezFrame2.label30.text",
        new CheckedField("editNumCharactersTextField", "error.edit.numCharacters",
                         EditNumCharacters::isValid,
                         [this](const std::string& text) { config_.setEditNumCharacters(text); }));
    setToolTipKey(editNumCharactersTextField_,
                  "VozevuZaDezFrame2.editNumCharactersTextField.toolTipText");
    form.addWide(separator("separator4"));
    removeCharactersTextField_ = new CheckedField(
        "removeCharactersTextField", "error.edit.removeCharacters", RemoveCharacters::isValid,
        [this](const std::string& text) { config_.setRemoveCharacters(text); });
    setToolTipKey(removeCharactersTextField_,
                  "VozevuZaDezFrame2.removeCharactersTextField.toolTipText");
    form.addRow("VozevuZaDezFrame2.label31.text",
                withNote(removeCharactersTextField_, "VozevuZaDezFrame2.label32.text"));
    form.addWide(separator("separator5"));
    ignoreDuplicatesCheckBox_ =
        new QCheckBox(windowText("VozevuZaDezFrame2.ignoreDuplicatesCheckBox.text"));
    ignoreDuplicatesCheckBox_->setObjectName("ignoreDuplicatesCheckBox");
    form.addWide(ignoreDuplicatesCheckBox_);
    auto* adjustIgnoreButton =
        form.row("", new QPushButton(windowText("VozevuZaDezFrame2.adjustIgnoreButton.text")));
    adjustIgnoreButton->setObjectName("adjustIgnoreButton");
    form.finish();

    for (QWidget* number : std::initializer_list<QWidget*>{
             roundingMethodBox_, mathOperationBox_, mathOperandTextField_, decimalTextField_})
        configSignals.followInstrumentType(number);

    connect(mathOperationBox_, &QComboBox::currentIndexChanged, this,
            &ProcessingPanel::mathOperationChanged);
    connect(roundingMethodBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setRoundingMethod(selectedConstant<RoundingMethod>(roundingMethodBox_));
    });
    connect(editOperationComboBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setEditOperation(selectedConstant<EditOperation>(editOperationComboBox_));
    });
    connect(editPositionComboBox_, &QComboBox::currentIndexChanged, this, [this] {
        config_.setEditPosition(selectedConstant<EditPosition>(editPositionComboBox_));
    });
    connect(ignoreDuplicatesCheckBox_, &QCheckBox::clicked, this,
            [this](bool on) { config_.ignoreDuplicates() = on; });
    connect(adjustIgnoreButton, &QPushButton::clicked, this, &ProcessingPanel::adjustIgnore);
}

void ProcessingPanel::fillFromConfig() {
    selectConstant(mathOperationBox_, config_.getMathOperation());
    mathOperandTextField_->setText(toQString(config_.getMathOperand()));
    decimalTextField_->setText(toQString(config_.getDecimalPlaces()));
    selectConstant(roundingMethodBox_, config_.getRoundingMethod());
    selectConstant(editOperationComboBox_, config_.getEditOperation());
    selectConstant(editPositionComboBox_, config_.getEditPosition());
    editNumCharactersTextField_->setText(toQString(config_.getEditNumCharacters()));
    removeCharactersTextField_->setText(toQString(config_.getRemoveCharacters()));
    ignoreDuplicatesCheckBox_->setChecked(config_.ignoreDuplicates());
}

void ProcessingPanel::mathOperationChanged(int) {
    const MathOperation operation = selectedConstant<MathOperation>(mathOperationBox_);
    config_.setMathOperation(operation);
    if (operation == MathOperation::NONE) mathOperandTextField_->clear();
}

void ProcessingPanel::gather() {
    config_.setRoundingMethod(selectedConstant<RoundingMethod>(roundingMethodBox_));
    decimalTextField_->verify();
    mathOperationChanged(mathOperationBox_->currentIndex());
    mathOperandTextField_->verify();
    config_.setEditOperation(selectedConstant<EditOperation>(editOperationComboBox_));
    config_.setEditPosition(selectedConstant<EditPosition>(editPositionComboBox_));
    editNumCharactersTextField_->verify();
    removeCharactersTextField_->verify();
}

void ProcessingPanel::applyConsistencyRules() {
    const MathOperation operation = selectedConstant<MathOperation>(mathOperationBox_);
    if (operation != MathOperation::NONE && mathOperandTextField_->text().isEmpty()) {
        selectConstant(mathOperationBox_, MathOperation::NONE);
    }
    if (selectedConstant<MathOperation>(mathOperationBox_) == MathOperation::DIVIDE &&
        decimalTextField_->text().isEmpty() && !mathRoundingErrorWarningDisplayed_) {
        QTimer::singleShot(0, this, &ProcessingPanel::warnDivisionWithoutRounding);
    }
}

void ProcessingPanel::warnDivisionWithoutRounding() {
    if (mathRoundingErrorWarningDisplayed_) return;
    mathRoundingErrorWarningDisplayed_ = true;
    emit showRequested();
    decimalTextField_->setFocus(Qt::OtherFocusReason);
    dialogs::showWarning(
        window(), windowText("error"),
        windowText("please.enter.number.of.decimal.places.for.rounding.or.disable.division"));
    mathRoundingErrorWarningDisplayed_ = false;
}

void ProcessingPanel::adjustIgnore() {
    const std::string timeLimit = config_.getIgnoreTimeLimit();
    const std::string difference = config_.getIgnoreDifference();
    IgnoreDialog dialog(window(), timeLimit, difference);
    dialog.exec();
    if (dialog.getIgnoreTimeLimit() != timeLimit)
        config_.setIgnoreTimeLimit(dialog.getIgnoreTimeLimit());
    if (dialog.getIgnoreDifference() != difference) {
        config_.setIgnoreDifference(dialog.getIgnoreDifference());
    }
}

}  // namespace scalino
