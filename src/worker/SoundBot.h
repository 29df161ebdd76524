#pragma once

#include <functional>
#include <memory>

#include "config/ConfigHelper.h"
#include "worker/Sequencer.h"

namespace scalino {

// Audible confirmation of a typed reading: one short note of the General MIDI percussion key
// map, replayed for every reading.
class SoundBot {
public:
    static constexpr int kPercussionChannel = 9;  // MIDI channel 10, counted from 0
    static constexpr int kResolution = 4;         // ticks per quarter note

    // Opens sequencer and loads the note's sequence into it; throws SoundError when the sound
    // output cannot start.
    SoundBot(std::unique_ptr<Sequencer> sequencer, int percussionNumber);
    ~SoundBot();

    SoundBot(const SoundBot&) = delete;
    SoundBot& operator=(const SoundBot&) = delete;

    // Plays the note and returns at once; a note still sounding starts again from the beginning.
    // Does nothing once closed.
    void beep();
    // Closes the sequencer. Further calls do nothing.
    void close();

private:
    static MidiSequence percussionNote(int percussionNumber);

    std::unique_ptr<Sequencer> sequencer_;
    MidiSequence seq_;
};

// Obtains the platform's default sequencer, not yet opened.
using SequencerFactory = std::function<std::unique_ptr<Sequencer>()>;

// The sound player for the selected sound; none for NONE, in which case no sequencer is
// obtained at all. Throws SoundError when the sound output cannot start.
std::unique_ptr<SoundBot> makeSoundBot(ConfigHelper::Sound sound,
                                       const SequencerFactory& defaultSequencer);

}  // namespace scalino
