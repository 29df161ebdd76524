#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/Config.h"
#include "config/ConfigHelper.h"
#include "config/Keymap.h"
#include "worker/KeyEventGenerator.h"
#include "worker/TextQueue.h"
#include "worker/WeightWorkerView.h"

namespace scalino {

// The typing engine: takes texts from one queue shared by every instance and types each whole,
// in arrival order, as start key, characters and end key, waiting keyDelay after every key event.
// Texts are UTF-8. One instance per connection; its typing thread is the only one that types.
class Keybot {
public:
    // startWith and endWith are key codes (ConfigHelper::getKeyCode), 0 or less for none. keys
    // is not owned and must outlive this object; view may be null, and then problems go to
    // standard error.
    Keybot(int keyDelay, int startWith, int endWith, ConfigHelper::KeyboardType keyboardType,
           ConfigHelper::KeyMapType keyMapType, WeightWorkerView* view, KeyEventGenerator& keys);
    // The typing engine a connection uses: the delay, start and end keys and layout of the
    // settings, and the key map of the selected instrument.
    static std::unique_ptr<Keybot> fromConfig(const Config& config, WeightWorkerView* view,
                                              KeyEventGenerator& keys);
    // Stops the typing thread if start() began one.
    ~Keybot();
    Keybot(const Keybot&) = delete;
    Keybot& operator=(const Keybot&) = delete;

    // Queues a text for the typing thread; an empty text is dropped. Never blocks.
    static void add(std::string text);
    // Texts still waiting, and a way to drop them (texts of an earlier connection stay queued
    // for the next one unless dropped).
    static size_t queuedCount();
    // Texts queued or being typed.
    static size_t untypedCount();
    static void clearQueue();

    // Runs run() on a thread owned by this object; does nothing when it already runs.
    void start();
    // Ends the typing thread: a text being typed is finished first, without its remaining pauses;
    // texts still queued stay.
    void stop();

    // The typing thread's body: takes and types texts until stop is requested.
    void run(std::stop_token stop);
    void typeStart();
    void typeEnd();
    // Types every character through the key map; one that has no keys is reported and skipped.
    void typeString(std::string_view text);

private:
    static TextQueue& queue();
    std::optional<std::vector<int>> keysFor(char32_t character);
    void typeKey(int keyCode);
    void typeKeys(const std::vector<int>& keys);
    void typeDeadKeySpace();
    void pause();
    // One key event; a refused one is reported and yields false.
    bool press(int keyCode);
    bool release(int keyCode);
    bool send(int keyCode, bool down);
    // A problem to the view as an important event, or without a view to standard error.
    void report(const std::string& event);
    void report(const std::string& event, const std::string& diagnostic);

    int keyDelay_;
    int startWith_;
    int endWith_;
    ConfigHelper::KeyboardType keyboardType_;
    KeyMap keyMap_;
    bool beyondAscii_;
    WeightWorkerView* view_;
    KeyEventGenerator& keys_;
    std::stop_token stop_;  // of the running typing thread; none outside it
    std::jthread thread_;   // last: stopped and joined before the fields it uses go
};

}  // namespace scalino
