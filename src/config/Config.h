#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigHelper.h"
#include "config/Instrument.h"
#include "util/Decimal.h"

namespace scalino {

// What a settings object tells its listeners: the property "NUMBER" or "TEXT" after the
// instrument changed, with the new instrument.
struct PropertyChangeEvent {
    std::string propertyName;
    ConfigHelper::Instrument newValue;
};

// Every user setting of the running program. Texts hold what the user typed, as validated by
// the ConfigHelper rules; the derived getters turn them into numbers.
class Config {
public:
    using Instrument = ConfigHelper::Instrument;
    using Listener = std::function<void(const PropertyChangeEvent&)>;
    using ListenerId = int;

    // Every field except prevPort, in declaration order.
    struct Fields {
        std::string port;
        std::optional<Instrument> instrument;
        int bitRate = 0;
        int dataBits = 0;
        int stopBits = 0;
        int parity = 0;
        int inputTerminator = 0;
        ConfigHelper::Connect connect = ConfigHelper::Connect::MANUAL;
        ConfigHelper::KeyboardType keyboardType = ConfigHelper::KeyboardType::QUERTY;
        std::string xkbLayout;
        ConfigHelper::KeyboardOutput keyboardOutput = ConfigHelper::KeyboardOutput::AUTO;
        std::string delay = "20";
        ConfigHelper::DecimalSeparator decimalSeparator = ConfigHelper::DecimalSeparator::DOT;
        ConfigHelper::StartWith startWith = ConfigHelper::StartWith::NONE;
        ConfigHelper::OutputTerminator outputTerminator = ConfigHelper::OutputTerminator::NONE;
        ConfigHelper::MathOperation mathOperation = ConfigHelper::MathOperation::NONE;
        std::string mathOperand;
        std::string decimalPlaces;
        ConfigHelper::RoundingMethod roundingMethod = ConfigHelper::RoundingMethod::HALF_UP;
        ConfigHelper::Sound sound = ConfigHelper::Sound::NONE;
        bool minimizeToTray = true;
        bool notifyWhenMinimizedToTray = true;
        bool checkForUpdates = true;
        bool abortAutoStartWhenPrevPortNotAvailable = true;
        ConfigHelper::EditOperation editOperation = ConfigHelper::EditOperation::REMOVE;
        ConfigHelper::EditPosition editPosition = ConfigHelper::EditPosition::FIRST;
        std::string editNumCharacters;
        std::string removeCharacters;
        std::string customRegEx;
        bool ignoreDuplicates = false;
        std::string ignoreTimeLimit;
        std::string ignoreDifference;

        bool operator==(const Fields&) const = default;
    };

    Config() = default;
    explicit Config(Fields fields) : fields_(std::move(fields)) {}
    // Listeners are not copied: they belong to the object they were added to.
    Config(const Config& other) : fields_(other.fields_), prevPort_(other.prevPort_) {}
    Config& operator=(const Config& other);

    // A new object with every setting of config except the previous port, and no listeners.
    static Config copyConfig(const Config& config);
    // True when any setting but the previous port differs.
    static bool hasChanged(const Config& a, const Config& b) { return !(a.fields_ == b.fields_); }

    const Fields& fields() const { return fields_; }

    const std::string& getPort() const { return fields_.port; }
    void setPort(std::string port) { fields_.port = std::move(port); }
    const std::optional<std::string>& getPrevPort() const { return prevPort_; }
    void setPrevPort(std::optional<std::string> port) { prevPort_ = std::move(port); }
    std::optional<Instrument> getInstrument() const { return fields_.instrument; }
    // Notifies the listeners with "NUMBER" or "TEXT", the new instrument's type.
    void setInstrument(Instrument instrument);
    int getBitRate() const { return fields_.bitRate; }
    void setBitRate(int position) { fields_.bitRate = position; }
    int getDataBits() const { return fields_.dataBits; }
    void setDataBits(int position) { fields_.dataBits = position; }
    int getStopBits() const { return fields_.stopBits; }
    void setStopBits(int position) { fields_.stopBits = position; }
    int getParity() const { return fields_.parity; }
    void setParity(int position) { fields_.parity = position; }
    int getInputTerminator() const { return fields_.inputTerminator; }
    void setInputTerminator(int code) { fields_.inputTerminator = code; }
    ConfigHelper::Connect getConnect() const { return fields_.connect; }
    void setConnect(ConfigHelper::Connect value) { fields_.connect = value; }
    ConfigHelper::KeyboardType getKeyboardType() const { return fields_.keyboardType; }
    void setKeyboardType(ConfigHelper::KeyboardType value) { fields_.keyboardType = value; }
    // The layout the desktop's layout type reads characters from; empty for the X server's.
    const std::string& getXkbLayout() const { return fields_.xkbLayout; }
    void setXkbLayout(std::string text) { fields_.xkbLayout = std::move(text); }

    ConfigHelper::KeyboardOutput getKeyboardOutput() const { return fields_.keyboardOutput; }
    void setKeyboardOutput(ConfigHelper::KeyboardOutput value) { fields_.keyboardOutput = value; }
    const std::string& getDelay() const { return fields_.delay; }
    void setDelay(std::string text) { fields_.delay = std::move(text); }
    ConfigHelper::DecimalSeparator getDecimalSeparator() const { return fields_.decimalSeparator; }
    void setDecimalSeparator(ConfigHelper::DecimalSeparator value) {
        fields_.decimalSeparator = value;
    }
    ConfigHelper::StartWith getStartWith() const { return fields_.startWith; }
    void setStartWith(ConfigHelper::StartWith value) { fields_.startWith = value; }
    ConfigHelper::OutputTerminator getOutputTerminator() const { return fields_.outputTerminator; }
    void setOutputTerminator(ConfigHelper::OutputTerminator value) {
        fields_.outputTerminator = value;
    }
    ConfigHelper::MathOperation getMathOperation() const { return fields_.mathOperation; }
    void setMathOperation(ConfigHelper::MathOperation value) { fields_.mathOperation = value; }
    const std::string& getMathOperand() const { return fields_.mathOperand; }
    void setMathOperand(std::string text) { fields_.mathOperand = std::move(text); }
    const std::string& getDecimalPlaces() const { return fields_.decimalPlaces; }
    void setDecimalPlaces(std::string text) { fields_.decimalPlaces = std::move(text); }
    ConfigHelper::RoundingMethod getRoundingMethod() const { return fields_.roundingMethod; }
    void setRoundingMethod(ConfigHelper::RoundingMethod value) { fields_.roundingMethod = value; }
    ConfigHelper::Sound getSound() const { return fields_.sound; }
    void setSound(ConfigHelper::Sound value) { fields_.sound = value; }
    ConfigHelper::EditOperation getEditOperation() const { return fields_.editOperation; }
    void setEditOperation(ConfigHelper::EditOperation value) { fields_.editOperation = value; }
    ConfigHelper::EditPosition getEditPosition() const { return fields_.editPosition; }
    void setEditPosition(ConfigHelper::EditPosition value) { fields_.editPosition = value; }
    const std::string& getEditNumCharacters() const { return fields_.editNumCharacters; }
    void setEditNumCharacters(std::string text) { fields_.editNumCharacters = std::move(text); }
    const std::string& getRemoveCharacters() const { return fields_.removeCharacters; }
    void setRemoveCharacters(std::string text) { fields_.removeCharacters = std::move(text); }
    const std::string& getCustomRegEx() const { return fields_.customRegEx; }
    void setCustomRegEx(std::string text) { fields_.customRegEx = std::move(text); }
    const std::string& getIgnoreTimeLimit() const { return fields_.ignoreTimeLimit; }
    void setIgnoreTimeLimit(std::string text) { fields_.ignoreTimeLimit = std::move(text); }
    const std::string& getIgnoreDifference() const { return fields_.ignoreDifference; }
    void setIgnoreDifference(std::string text) { fields_.ignoreDifference = std::move(text); }

    // The five flags are plain fields: read and written directly.
    bool& minimizeToTray() { return fields_.minimizeToTray; }
    bool& notifyWhenMinimizedToTray() { return fields_.notifyWhenMinimizedToTray; }
    bool& checkForUpdates() { return fields_.checkForUpdates; }
    bool& abortAutoStartWhenPrevPortNotAvailable() {
        return fields_.abortAutoStartWhenPrevPortNotAvailable;
    }
    bool& ignoreDuplicates() { return fields_.ignoreDuplicates; }
    bool ignoreDuplicates() const { return fields_.ignoreDuplicates; }
    // Any of the five flags by member, for code that handles them alike.
    bool flag(bool Fields::*member) const { return fields_.*member; }
    void setFlag(bool Fields::*member, bool value) { fields_.*member = value; }

    // The delay as a number; 20 when the text is not an integer (for example empty).
    int getDelayAsInt() const;
    // None when the decimal places are not an integer (for example empty).
    std::optional<int> getDecimalPlacesAsInt() const;
    // 0 when the text is empty or not an integer.
    int getEditNumCharactersAsInt() const;
    // The operand as an exact decimal; throws std::invalid_argument when it is not acceptable.
    Decimal getMathOperandAsBigDecimal() const;
    // Decimal places set, and an integer from 0 to 7.
    bool roundingEnabled() const;
    // A math operation with an operand; division only together with rounding.
    bool mathOperationEnabled() const;

    ListenerId addPropertyChangeListener(Listener listener);
    void removePropertyChangeListener(ListenerId id);

private:
    Fields fields_;
    std::optional<std::string> prevPort_;
    std::vector<std::pair<ListenerId, Listener>> listeners_;
    ListenerId nextListenerId_ = 0;
};

}  // namespace scalino
