#include "worker/Keybot.h"

#include <iostream>
#include <optional>

#include "config/Instrument.h"
#include "util/Text.h"
#include "worker/WorkerBundle.h"

namespace scalino {

namespace {

// Length of the UTF-8 sequence a byte starts; 1 for a byte that starts none.
size_t sequenceLength(char lead) {
    const auto byte = static_cast<unsigned char>(lead);
    if (byte >= 0xC0 && byte < 0xE0) return 2;
    if (byte >= 0xE0 && byte < 0xF0) return 3;
    if (byte >= 0xF0 && byte < 0xF8) return 4;
    return 1;
}

// A byte outside any well-formed sequence becomes a code of the low surrogates, which no
// layout types: it is reported with its value instead of vanishing or passing for a letter.
constexpr char32_t kStrayByteBase = 0xDC00;

// The characters of a UTF-8 text, stray bytes as above.
std::vector<char32_t> characters(std::string_view text) {
    if (auto all = decodeUtf8(text)) return *all;
    std::vector<char32_t> out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequenceLength(text[i]);
        const auto one = decodeUtf8(text.substr(i, length));
        if (one && one->size() == 1) {
            out.push_back(one->front());
            i += length;
        } else {
            out.push_back(kStrayByteBase + static_cast<unsigned char>(text[i]));
            ++i;
        }
    }
    return out;
}

std::string readableCharacter(char32_t code) {
    if (code >= 0x20 && code <= 0x7E) return std::string(1, static_cast<char>(code));
    if (code >= kStrayByteBase && code <= kStrayByteBase + 0xFF) code -= kStrayByteBase;
    return "<" + std::to_string(code) + ">";
}

// Text beyond ASCII that a layout may have: no control characters, no stray bytes.
bool isPrintableBeyondAscii(char32_t code) {
    return code >= 0xA0 && (code < 0xD800 || code > 0xDFFF) && code != 0xFEFF;
}

}  // namespace

Keybot::Keybot(int keyDelay, int startWith, int endWith, ConfigHelper::KeyboardType keyboardType,
               ConfigHelper::KeyMapType keyMapType, WeightWorkerView* view, KeyEventGenerator& keys)
    : keyDelay_(keyDelay),
      startWith_(startWith),
      endWith_(endWith),
      keyboardType_(keyboardType),
      keyMap_(getKeymap(keyboardType, keyMapType)),
      beyondAscii_(typesBeyondAscii(keyboardType, keyMapType)),
      view_(view),
      keys_(keys) {}

std::unique_ptr<Keybot> Keybot::fromConfig(const Config& config, WeightWorkerView* view,
                                           KeyEventGenerator& keys) {
    const auto instrument =
        config.getInstrument().value_or(ConfigHelper::getDefault<ConfigHelper::Instrument>());
    return std::make_unique<Keybot>(
        config.getDelayAsInt(), ConfigHelper::getKeyCode(config.getStartWith()),
        ConfigHelper::getKeyCode(config.getOutputTerminator()), config.getKeyboardType(),
        ConfigHelper::getKeyMapType(instrument), view, keys);
}

Keybot::~Keybot() {
    stop();
}

TextQueue& Keybot::queue() {
    static TextQueue shared;
    return shared;
}

void Keybot::add(std::string text) {
    if (!text.empty()) queue().add(std::move(text));
}

size_t Keybot::queuedCount() {
    return queue().size();
}

size_t Keybot::untypedCount() {
    return queue().unfinished();
}

void Keybot::clearQueue() {
    queue().clear();
}

void Keybot::start() {
    if (thread_.joinable()) return;
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void Keybot::stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
}

void Keybot::run(std::stop_token stop) {
    stop_ = stop;
    while (auto text = queue().take(stop)) {
        typeStart();
        typeString(*text);
        typeEnd();
        queue().finished();
    }
}

void Keybot::typeStart() {
    if (startWith_ > 0) typeKey(startWith_);
}

void Keybot::typeEnd() {
    if (endWith_ > 0) typeKey(endWith_);
}

// The start and end keys: no wait after the release, the next key event follows at once.
void Keybot::typeKey(int keyCode) {
    if (!press(keyCode)) return;
    pause();
    release(keyCode);
}

void Keybot::typeString(std::string_view text) {
    keys_.startText();
    for (char32_t character : characters(text)) {
        if (const auto keys = keysFor(character)) {
            typeKeys(*keys);
        } else {
            report(workerText("cannot_type") + readableCharacter(character));
        }
    }
}

// A character key is typeable only where the backend finds the character in its keymap.
std::optional<std::vector<int>> Keybot::keysFor(char32_t character) {
    const auto found = keyMap_.find(character);
    std::vector<int> keys;
    if (found != keyMap_.end()) {
        keys = found->second;
    } else if (beyondAscii_ && isPrintableBeyondAscii(character)) {
        keys = {VirtualKey::character(character)};
    } else {
        return std::nullopt;
    }
    for (int key : keys) {
        const char32_t named = VirtualKey::characterOf(key);
        if (named != U'\0' && !keys_.canType(named)) return std::nullopt;
    }
    return keys;
}

// A dead key followed by Space gives the dead key's own character; the Space must come after
// the dead key is released, so a Space after the first key waits until the others are up.
// Only keys that went down are released.
void Keybot::typeKeys(const std::vector<int>& keys) {
    std::vector<int> down;
    bool spacePending = false;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys[i] == VirtualKey::Space) {
            spacePending = true;
        } else if (press(keys[i])) {
            pause();
            down.push_back(keys[i]);
        }
    }
    for (auto key = down.rbegin(); key != down.rend(); ++key) {
        if (release(*key)) pause();
    }
    if (spacePending) typeDeadKeySpace();
}

void Keybot::typeDeadKeySpace() {
    try {
        keys_.keyPress(VirtualKey::Space);
        pause();
        keys_.keyRelease(VirtualKey::Space);
        pause();
    } catch (const KeyEventError& error) {
        report(std::string("Deadkey error: ") + error.what());
    }
}

// Once stop is requested the text in hand is finished without pauses, so that stopping waits
// for at most the pause under way and never types half a value.
void Keybot::pause() {
    if (!stop_.stop_requested()) keys_.delay(keyDelay_);
}

bool Keybot::press(int keyCode) {
    return send(keyCode, true);
}

bool Keybot::release(int keyCode) {
    return send(keyCode, false);
}

bool Keybot::send(int keyCode, bool down) {
    try {
        down ? keys_.keyPress(keyCode) : keys_.keyRelease(keyCode);
    } catch (const KeyEventError& error) {
        const std::string code = std::to_string(keyCode);
        report(std::string(down ? "Error pressing key " : "Error releasing key ") + code + " on " +
                   ConfigHelper::toString(keyboardType_) + " keyboard: " + error.what(),
               std::string(down ? "Error on pressing: " : "Error on releasing: ") + code + ": " +
                   error.what());
        return false;
    }
    return true;
}

void Keybot::report(const std::string& event) {
    report(event, event);
}

void Keybot::report(const std::string& event, const std::string& diagnostic) {
    if (view_ != nullptr) {
        view_->logImportantEvent(event);
    } else {
        std::cerr << diagnostic << '\n';
    }
}

}  // namespace scalino
