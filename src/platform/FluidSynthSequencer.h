#pragma once

#include <memory>
#include <string>
#include <vector>

#include "worker/Sequencer.h"
#include "worker/SoundBot.h"

namespace scalino {

// The sequencer on FluidSynth with a General MIDI soundfont, whose drum kit plays on channel 9.
// Events are timed by the samples the synthesiser renders, so offline output keeps exact time
// without any clock.
class FluidSynthSequencer final : public Sequencer {
public:
    enum class Output {
        Device,  // an audio driver plays the sound
        Offline  // no audio driver; the caller pulls the samples with render()
    };
    struct Options {
        Output output = Output::Device;
        // Empty: SCALINO_SOUNDFONT (a process property or the environment variable), else the
        // first General MIDI soundfont found where distributions install one.
        std::string soundFont;
        // A FluidSynth audio driver name. Empty: SCALINO_AUDIO_DRIVER, else pulseaudio (which
        // PipeWire serves too), then alsa. JACK on request only: it needs a JACK server the
        // user has set up.
        std::string audioDriver;
    };
    // A voice the synthesiser is playing.
    struct Voice {
        int channel;
        int key;
        bool held;  // key down: no note-off yet, so not yet in its release phase

        bool operator==(const Voice&) const = default;
    };

    FluidSynthSequencer();  // to play through the sound system
    explicit FluidSynthSequencer(Options options);
    ~FluidSynthSequencer() override;

    FluidSynthSequencer(const FluidSynthSequencer&) = delete;
    FluidSynthSequencer& operator=(const FluidSynthSequencer&) = delete;

    void open() override;
    void load(const MidiSequence& sequence) override;
    void rewindAndStart() override;
    void close() override;

    // The soundfont open() loads; throws SoundError when none is found.
    std::string soundFontPath() const;

    // For offline output only (std::logic_error otherwise).
    int sampleRate() const;
    // The next frames of the sound, as interleaved left and right samples.
    std::vector<float> render(int frames);
    std::vector<Voice> playingVoices() const;

private:
    struct Engine;
    Engine& offlineEngine() const;

    Options options_;
    MidiSequence sequence_{};
    std::unique_ptr<Engine> engine_;
};

// The platform's default sequencer for sound feedback: FluidSynth playing through the sound
// system. In a build without FluidSynth (FluidSynthAbsent.cpp, and no FluidSynthSequencer) it is
// one whose open() throws SoundError saying so.
std::unique_ptr<Sequencer> defaultSequencer();

// The sound player for the selected sound, playing through the sound system; none for NONE.
// Throws SoundError when the sound output cannot start.
inline std::unique_ptr<SoundBot> makeSoundBot(ConfigHelper::Sound sound) {
    return makeSoundBot(sound, defaultSequencer);
}

}  // namespace scalino
