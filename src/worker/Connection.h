#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <memory>
#include <optional>

#include "config/Config.h"
#include "worker/BackgroundTask.h"
#include "worker/ConnectionView.h"
#include "worker/Ignorer.h"
#include "worker/KeyEventGenerator.h"
#include "worker/Keybot.h"
#include "worker/SoundBot.h"
#include "worker/WeightWorker.h"

namespace scalino {

// Makes the key events a connection types with, for the settings' keyboard layout; throws
// (KeyEventError, for example) when the keys cannot be sent. Shared, so that a caller may keep
// a recording backend to read after the connection. A factory that waits for the user (the
// desktop's consent dialog) gives up when stop is requested.
using KeyEventFactory =
    std::function<std::shared_ptr<KeyEventGenerator>(const Config&, std::stop_token stop)>;

// One connection to an instrument, as the window's start button and scalino-cli read make it:
// the worker chosen by the instrument reads the port, and the output side (duplicate
// suppression, sound, the typing feed) handles every line it publishes. One object per
// connection; every call is made on the UI thread, the thread the executor runs steps on.
class Connection : private WeightWorkerView {
public:
    struct Outputs {
        KeyEventFactory keys;        // none: values are not typed
        SequencerFactory sequencer;  // none: no sound, whatever the settings say
        PortOpener portOpener;       // none: the process's serial driver
    };

    // view and executor must outlive this object.
    Connection(ConnectionView& view, UiExecutor& executor, Outputs outputs);
    // Stops, and waits until the worker has let go of the port and of the view.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects with the settings, in this order: keyboard output, the Caps Lock check and the
    // check that the desktop's layout is the setting's, sound, duplicate suppression, the worker
    // (which opens the port), the typing thread, the log of what was started (with the way the
    // keys take), then reading. Problems with keys or sound are reported to the view and
    // connecting goes on. A port that cannot be opened or a setting it refuses is thrown
    // (SerialPortException, SerialParameterException, std::runtime_error without a port) after
    // everything built so far has been released. Call once.
    void start(const Config& config);
    // Disconnects: reading is cancelled (the worker then reports its end and closes the port),
    // typing ends after the value in hand, the sound is closed and the suppressor dropped.
    // Values that were received but not typed yet are dropped and their number logged: a stop
    // must not type old readings into whatever has the focus later.
    void stop();
    // Cancels reading only; typing goes on with the values already received.
    void stopReading();
    // A call that cancels reading as stopReading does, from any thread: for a request that must
    // reach the reader while the UI thread is busy (blocked writing to a stalled output). Empty
    // before start.
    std::function<void()> readingCanceller() const;
    // Waits until the typing thread has typed every value received, at most timeout; true if so.
    bool awaitTyping(std::chrono::milliseconds timeout) const;

    // True from start until the worker's completion step has run.
    bool isReading() const { return worker_ && !worker_->isDone(); }
    // How reading ended; none while it goes on or when it never started.
    std::optional<TaskEnding> ending() const;
    bool isTyping() const { return keyBot_ != nullptr; }

    // The warning that the desktop's layout (as XKB names it) is not the one of the setting.
    static std::string layoutMismatchText(ConfigHelper::KeyboardType setting,
                                          const std::string& desktopLayout);

private:
    // The worker's view: events go on to the front end, lines through the output side.
    void logEvent(const std::string& text) override;
    void logImportantEvent(const std::string& text) override;
    void setConnectedInGUI(bool connected) override;
    void update(const DataLine& line) override;
    void showWarning(const std::string& title, const std::string& message) override;
    std::string settingControl(std::string_view key, std::string_view value) const override;

    void startKeyboard(const Config& config);
    void startSound(const Config& config);
    void logStart(const Config& config);
    void releaseOutputs();
    void dropUntypedValues();

    ConnectionView& view_;
    // Steps posted for the worker reach this object only while it exists.
    GuardedExecutor executor_;
    Outputs outputs_;
    std::shared_ptr<KeyEventGenerator> keys_;
    std::unique_ptr<Keybot> keyBot_;
    std::unique_ptr<SoundBot> soundBot_;
    std::optional<Ignorer> ignorer_;
    std::shared_ptr<WeightWorker> worker_;
};

}  // namespace scalino
