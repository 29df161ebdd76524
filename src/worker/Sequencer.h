#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace scalino {

// Sound output that cannot start; what() says what is missing and what to do about it.
class SoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One MIDI message at a tick of its track.
struct MidiEvent {
    std::int64_t tick;
    std::uint8_t status;  // message type in the high nibble, channel (from 0) in the low one
    std::uint8_t data1;
    std::uint8_t data2;

    bool operator==(const MidiEvent&) const = default;
};

// A one-track sequence with pulses-per-quarter-note timing.
struct MidiSequence {
    int resolution;  // ticks per quarter note
    std::vector<MidiEvent> track;
};

// A MIDI sequencer driving a synthesiser. It plays at the MIDI default tempo of 120 quarter
// notes a minute, as a sequence without tempo events is meant to be played.
class Sequencer {
public:
    virtual ~Sequencer() = default;
    // Obtains the synthesiser and the sound output; throws SoundError.
    virtual void open() = 0;
    // The sequence that rewindAndStart plays; only note-on and note-off messages are supported
    // (std::invalid_argument otherwise).
    virtual void load(const MidiSequence& sequence) = 0;
    // Plays the loaded sequence from tick 0 and returns at once. A playback still running is cut
    // off: its pending events are dropped and its held notes released.
    virtual void rewindAndStart() = 0;
    // Releases the synthesiser and the sound output; nothing plays afterwards.
    virtual void close() = 0;
};

}  // namespace scalino
