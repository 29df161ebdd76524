#include "worker/Connection.h"

#include <thread>

#include "config/Instrument.h"
#include "util/ResourceBundle.h"
#include "util/Text.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerChoice.h"

namespace scalino {
namespace {

// The texts of the start log are the window's, so that both front ends log the same words.
const std::string& windowText(std::string_view key) {
    return ResourceBundle::getBundle("scalino.Scalino").getString(key);
}

}  // namespace

Connection::Connection(ConnectionView& view, UiExecutor& executor, Outputs outputs)
    : view_(view), executor_(executor), outputs_(std::move(outputs)) {}

Connection::~Connection() {
    stop();
    // The worker's thread uses the executor and the view until its work step ends; the steps it
    // posted may run later, and must then find nothing of this object.
    if (worker_) worker_->waitForWorkStep();
    executor_.close();
}

void Connection::start(const Config& config) {
    startKeyboard(config);
    startSound(config);
    if (config.ignoreDuplicates()) ignorer_.emplace(config);
    try {
        worker_ = createWeightWorker(config, *this, executor_, outputs_.portOpener);
    } catch (...) {
        releaseOutputs();
        throw;
    }
    if (keyBot_) keyBot_->start();
    logStart(config);
    worker_->execute();
}

void Connection::startKeyboard(const Config& config) {
    if (!outputs_.keys) return;
    try {
        keys_ = outputs_.keys(config, {});
        keyBot_ = Keybot::fromConfig(config, &view_, *keys_);
    } catch (const std::exception& error) {
        keyBot_.reset();
        keys_.reset();
        view_.connectionProblem(ConnectionView::Problem::KeyboardOutput, error.what());
        return;
    }
    if (keys_->isCapsLockOn()) view_.connectionProblem(ConnectionView::Problem::CapsLock, "");
    const std::string desktopLayout = keys_->differingDesktopLayout();
    if (!desktopLayout.empty()) {
        view_.logImportantEvent(layoutMismatchText(config.getKeyboardType(), desktopLayout));
    }
}

std::string Connection::layoutMismatchText(ConfigHelper::KeyboardType setting,
                                           const std::string& desktopLayout) {
    return workerText("keyboard.layout.mismatch",
                      {desktopLayout, ConfigHelper::toString(setting),
                       ConfigHelper::toString(ConfigHelper::KeyboardType::DESKTOP)});
}

void Connection::startSound(const Config& config) {
    if (!outputs_.sequencer) return;
    try {
        soundBot_ = makeSoundBot(config.getSound(), outputs_.sequencer);
    } catch (const std::exception& error) {
        view_.connectionProblem(ConnectionView::Problem::SoundOutput, error.what());
    }
}

void Connection::logStart(const Config& config) {
    using namespace ConfigHelper;
    const Instrument instrument = config.getInstrument().value_or(getDefault<Instrument>());
    view_.logEvent(windowText("VozevuZaDezFrame2.deviceLabel.text") + " " + toString(instrument));
    if (!config.getCustomRegEx().empty()) {
        view_.logEvent("Custom regEx: " + config.getCustomRegEx());
    }
    // Only when typing really started: the log must not promise keystrokes that never come.
    if (keyBot_) {
        view_.logEvent(windowText("keyboard.output.started.type") + " " +
                       toString(config.getKeyboardType()));
        // Which way the keys take decides which applications receive them; in the words of
        // scalino-cli type.
        if (const std::string method = keys_->method(); !method.empty())
            view_.logEvent("typing through " + method);
    }
}

void Connection::stop() {
    stopReading();
    if (keyBot_) {
        keyBot_->stop();
        keyBot_.reset();
        dropUntypedValues();
    }
    keys_.reset();
    releaseOutputs();
}

void Connection::stopReading() {
    if (worker_) worker_->cancel(true);
}

std::function<void()> Connection::readingCanceller() const {
    if (!worker_) return {};
    return [worker = worker_] { worker->cancel(true); };
}

void Connection::releaseOutputs() {
    keyBot_.reset();
    keys_.reset();
    if (soundBot_) soundBot_->close();
    soundBot_.reset();
    ignorer_.reset();
}

void Connection::dropUntypedValues() {
    const size_t untyped = Keybot::queuedCount();
    if (untyped == 0) return;
    Keybot::clearQueue();
    view_.logImportantEvent(workerText("values.not.typed", {std::to_string(untyped)}));
}

bool Connection::awaitTyping(std::chrono::milliseconds timeout) const {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (keyBot_ && Keybot::untypedCount() > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::optional<TaskEnding> Connection::ending() const {
    if (!worker_ || !worker_->isDone()) return std::nullopt;
    return worker_->ending();
}

void Connection::logEvent(const std::string& text) {
    view_.logEvent(text);
}

void Connection::logImportantEvent(const std::string& text) {
    view_.logImportantEvent(text);
}

void Connection::showWarning(const std::string& title, const std::string& message) {
    view_.showWarning(title, message);
}

std::string Connection::settingControl(std::string_view key, std::string_view value) const {
    return view_.settingControl(key, value);
}

// The worker reports its end from its completion step, after its last line: no value will come
// any more, so the sound and the suppressor can go. Typing finishes the values received.
void Connection::setConnectedInGUI(bool connected) {
    view_.setConnectedInGUI(connected);
    if (connected) return;
    if (soundBot_) soundBot_->close();
    soundBot_.reset();
    ignorer_.reset();
}

void Connection::update(const DataLine& received) {
    DataLine line = received.copy();
    if (ignorer_) ignorer_->process(line);
    if (soundBot_ && line.hasValue()) soundBot_->beep();
    view_.update(line);
    if (keyBot_) Keybot::add(latin1ToUtf8(line.getProcessedData()));
}

}  // namespace scalino
