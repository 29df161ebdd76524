#include "scalino/InputPanel.h"

#include <QLineEdit>
#include <QPushButton>

#include "config/Instrument.h"
#include "rs232/FriendlyPortUtil.h"
#include "rs232/SerialPortLocal.h"
#include "scalino/AutoPortDialog.h"
#include "scalino/CustomRegExDialog.h"
#include "scalino/MessageDialogs.h"
#include "scalino/PanelForm.h"
#include "util/Text.h"

namespace scalino {
namespace {

using namespace ConfigHelper;

// Fixes the width of the port list, whatever the names.
constexpr const char* kPortPrototype = "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX";

QPushButton* button(const QString& name, std::string_view textKey, std::string_view tipKey) {
    auto* result = new QPushButton(windowText(textKey));
    result->setObjectName(name);
    if (!tipKey.empty()) setToolTipKey(result, tipKey);
    return result;
}

// The list text of a port: its friendly name where the driver knows the port.
QString entryFor(const std::string& port) {
    if (!FriendlyPortUtil::portInfoListIsPopulated()) return toQString(port);
    return toQString(FriendlyPortUtil::getFriendlyPortName(port));
}

}  // namespace

InputPanel::InputPanel(Config& config, UiExecutor& executor, PortOpener portOpener,
                       std::function<std::vector<std::string>()> listPorts, QWidget* parent)
    : QWidget(parent),
      config_(config),
      executor_(executor),
      portOpener_(std::move(portOpener)),
      listPorts_(std::move(listPorts)) {
    setObjectName("inputPanel");
    buildControls();
    fillFromConfig();
}

void InputPanel::buildControls() {
    PanelForm form(this);
    portList_ = form.row("VozevuZaDezFrame2.label2.text", new QComboBox);
    portList_->setObjectName("portList");
    portList_->setMinimumContentsLength(static_cast<int>(std::string_view(kPortPrototype).size()));
    portList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setToolTipKey(portList_, "VozevuZaDezFrame2.portList.toolTipText");
    instrumentBox_ =
        form.row("VozevuZaDezFrame2.deviceLabel.text", enumComboBox<Instrument>("instrumentBox"));
    setToolTipKey(instrumentBox_, "VozevuZaDezFrame2.instrumentBox.toolTipText");
    bitRateBox_ = form.row("VozevuZaDezFrame2.label3.text", enumComboBox<BitRates>("bitRateBox"));
    setToolTipKey(bitRateBox_, "VozevuZaDezFrame2.bitRateBox.toolTipText");
    dataBitsBox_ = form.row("VozevuZaDezFrame2.label6.text", enumComboBox<DataBits>("dataBitsBox"));
    stopBitsBox_ = form.row("VozevuZaDezFrame2.label7.text", enumComboBox<StopBits>("stopBitsBox"));
    parityBox_ = form.row("VozevuZaDezFrame2.label8.text", enumComboBox<Parity>("parityBox"));
    inputTerminatorBox_ = form.row("VozevuZaDezFrame2.label9.text",
                                   enumComboBox<InputTerminator>("inputTerminatorBox"));
    inputTerminatorBox_->setEditable(true);
    inputTerminatorBox_->setInsertPolicy(QComboBox::NoInsert);
    inputTerminatorBox_->setMinimumContentsLength(
        windowText("VozevuZaDezFrame2.inputTerminatorBox.prototypeDisplayValue").size());
    setToolTipKey(inputTerminatorBox_, "VozevuZaDezFrame2.inputTerminatorBox.toolTipText");
    QPushButton* autoButton = form.row("VozevuZaDezFrame2.label10.text",
                                       button("autoButton", "VozevuZaDezFrame2.autoButton.text",
                                              "VozevuZaDezFrame2.autoButton.toolTipText"));
    QPushButton* defaultButton =
        form.row("VozevuZaDezFrame2.label14.text",
                 button("defaultButton", "VozevuZaDezFrame2.defaultButton.text",
                        "VozevuZaDezFrame2.defaultButton.toolTipText"));
    form.addWide(separator("separator1"));
    form.addWide(separator("separator2"));
    form.addWide(separator("separator3"));
    QPushButton* refreshPortsButton =
        form.row("", button("refreshPortsButton", "VozevuZaDezFrame2.refreshPortsButton.text",
                            "VozevuZaDezFrame2.refreshPortsButton.toolTipText"));
    QPushButton* customizeButton =
        form.row("", button("customizeButton", "VozevuZaDezFrame2.customizeButton.text",
                            "VozevuZaDezFrame2.customizeButton.toolTipText"));
    form.finish();

    connect(instrumentBox_, &QComboBox::currentIndexChanged, this, &InputPanel::instrumentChanged);
    connect(bitRateBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { storePosition(index, &Config::setBitRate); });
    connect(dataBitsBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { storePosition(index, &Config::setDataBits); });
    connect(stopBitsBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { storePosition(index, &Config::setStopBits); });
    connect(parityBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { storePosition(index, &Config::setParity); });
    connect(inputTerminatorBox_, &QComboBox::activated, this, [this] { storeInputTerminator(); });
    connect(inputTerminatorBox_->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { storeInputTerminator(); });
    connect(autoButton, &QPushButton::clicked, this, &InputPanel::detectPort);
    connect(defaultButton, &QPushButton::clicked, this, &InputPanel::applyDefaults);
    connect(refreshPortsButton, &QPushButton::clicked, this, &InputPanel::refreshPorts);
    connect(customizeButton, &QPushButton::clicked, this, &InputPanel::customizeExpression);
}

void InputPanel::storePosition(int index, void (Config::*set)(int)) {
    if (index >= 0) (config_.*set)(index);
}

void InputPanel::fillFromConfig() {
    const Instrument instrument = config_.getInstrument().value_or(getDefault<Instrument>());
    instrumentIndex_ = ordinal(instrument);
    {
        const QSignalBlocker blocker(instrumentBox_);
        instrumentBox_->setCurrentIndex(instrumentIndex_);
    }
    config_.setInstrument(instrument);
    bitRateBox_->setCurrentIndex(config_.getBitRate());
    dataBitsBox_->setCurrentIndex(config_.getDataBits());
    stopBitsBox_->setCurrentIndex(config_.getStopBits());
    parityBox_->setCurrentIndex(config_.getParity());
    inputTerminatorBox_->setEditText(
        toQString(inputTerminatorListText(config_.getInputTerminator())));
}

void InputPanel::setPorts(std::vector<std::string> ports) {
    ports_ = std::move(ports);
    const QSignalBlocker blocker(portList_);
    portList_->clear();
    for (const std::string& port : ports_)
        portList_->addItem(entryFor(port));
    selectPort(config_.getPort());
}

bool InputPanel::selectPort(const std::string& portName) {
    const int index = portList_->findText(entryFor(portName));
    if (index < 0) return false;
    portList_->setCurrentIndex(index);
    return true;
}

void InputPanel::gather() {
    const std::string entry = fromQString(portList_->currentText());
    config_.setPort(FriendlyPortUtil::getUnfriendlyPortName(entry));
    instrumentChanged(instrumentBox_->currentIndex());
    config_.setBitRate(bitRateBox_->currentIndex());
    config_.setDataBits(dataBitsBox_->currentIndex());
    config_.setStopBits(stopBitsBox_->currentIndex());
    config_.setParity(parityBox_->currentIndex());
    storeInputTerminator();
}

void InputPanel::instrumentChanged(int index) {
    if (!isValidPosition<Instrument>(index)) return;
    config_.setInstrument(static_cast<Instrument>(index));
    const bool changed = index != instrumentIndex_;
    instrumentIndex_ = index;
    if (!changed || config_.getCustomRegEx().empty()) return;
    instrumentBox_->hidePopup();
    if (dialogs::askYesNo(window(), "Confirm", "Overwrite custom regular expression?")) {
        config_.setCustomRegEx("");
    }
}

bool InputPanel::storeInputTerminator() {
    const QString text = inputTerminatorBox_->currentText().trimmed();
    for (InputTerminator terminator : values<InputTerminator>()) {
        if (text == toQString(toString(terminator))) {
            config_.setInputTerminator(getCharacterCode(terminator));
            return true;
        }
    }
    const std::optional<int> code = parseInt(fromQString(text));
    if (code && isValidInputTerminatorCode(*code)) {
        config_.setInputTerminator(*code);
        return true;
    }
    dialogs::showError(window(), windowText("error"),
                       windowText("terminator.must.be.between.0.and.255"));
    inputTerminatorBox_->setEditText(
        toQString(inputTerminatorListText(config_.getInputTerminator())));
    emit showRequested();
    return false;
}

void InputPanel::applyDefaults() {
    const Instrument instrument = selectedConstant<Instrument>(instrumentBox_);
    if (auto message = getDefaultMessage(instrument)) {
        dialogs::showInformation(window(), "Info", toQString(*message));
    }
    const Config defaults = getDefaultConfig(instrument);
    bitRateBox_->setCurrentIndex(defaults.getBitRate());
    dataBitsBox_->setCurrentIndex(defaults.getDataBits());
    stopBitsBox_->setCurrentIndex(defaults.getStopBits());
    parityBox_->setCurrentIndex(defaults.getParity());
    inputTerminatorBox_->setEditText(
        toQString(inputTerminatorListText(defaults.getInputTerminator())));
    storeInputTerminator();
}

void InputPanel::refreshPorts() {
    SerialPortLocal::clearPortListInfo();
    std::vector<std::string> found;
    try {
        found = listPorts_();
    } catch (const std::exception& error) {
        dialogs::showError(window(), windowText("error"),
                           windowText("error.listing.available.ports") + "\n" + error.what());
        return;
    }
    if (found.empty()) {
        portList_->clear();
        ports_.clear();
        dialogs::showError(window(), windowText("error"),
                           windowText("no.rs.232.port.found.on.your.system.program.will.now.exit"));
        return;
    }
    try {
        FriendlyPortUtil::update();
    } catch (const std::exception&) {
        FriendlyPortUtil::update({});  // plain names, then
    }
    setPorts(std::move(found));
}

void InputPanel::detectPort() {
    AutoPortDialog dialog(
        window(), ports_, [this](const std::string& port) { selectPort(port); }, executor_,
        portOpener_);
    dialog.exec();
}

void InputPanel::customizeExpression() {
    const std::string current =
        config_.getCustomRegEx().empty()
            ? std::string(getRegEx(selectedConstant<Instrument>(instrumentBox_)))
            : config_.getCustomRegEx();
    CustomRegExDialog dialog(window(), current);
    dialog.exec();
    if (dialog.getRegEx() != current) config_.setCustomRegEx(dialog.getRegEx());
}

}  // namespace scalino
