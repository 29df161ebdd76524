// The sound output of a build without FluidSynth (SCALINO_WITH_FLUIDSYNTH=OFF): CMake compiles
// this file instead of FluidSynthSequencer.cpp. The sequencer refuses to open, so a connection
// that asks for sound logs why and delivers its values without it, as when no sound system runs.
#include "platform/FluidSynthSequencer.h"

namespace scalino {

namespace {

class AbsentSequencer final : public Sequencer {
public:
    void open() override {
        throw SoundError(
            "this build has no sound output (it was made without FluidSynth); "
            "values come without sound");
    }
    void load(const MidiSequence&) override {}
    void rewindAndStart() override {}
    void close() override {}
};

}  // namespace

std::unique_ptr<Sequencer> defaultSequencer() {
    return std::make_unique<AbsentSequencer>();
}

}  // namespace scalino
