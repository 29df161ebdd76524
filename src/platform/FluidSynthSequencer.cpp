#include "platform/FluidSynthSequencer.h"

#include <fluidsynth.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "util/ProcessProperties.h"

namespace scalino {
namespace {

constexpr std::string_view kSoundFontVariable = "SCALINO_SOUNDFONT";
constexpr std::string_view kAudioDriverVariable = "SCALINO_AUDIO_DRIVER";
constexpr std::string_view kInstallHint =
    "install the package timgm6mb-soundfont (or another General MIDI soundfont), or name a "
    "soundfont file in the environment variable SCALINO_SOUNDFONT";

// The Debian alternative (the user's choice) first, then the files the usual packages install.
constexpr std::array kSoundFontLocations = {
    "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/soundfonts/default.sf2",    "/usr/share/soundfonts/FluidR3_GM.sf2"};
constexpr std::array kAudioDrivers = {"pulseaudio", "alsa"};

// The MIDI default tempo, which applies to a sequence without tempo events.
constexpr double kQuarterNotesPerMinute = 120;

struct FluidDelete {
    void operator()(fluid_settings_t* p) const { delete_fluid_settings(p); }
    void operator()(fluid_synth_t* p) const { delete_fluid_synth(p); }
    void operator()(fluid_sequencer_t* p) const { delete_fluid_sequencer(p); }
    void operator()(fluid_audio_driver_t* p) const { delete_fluid_audio_driver(p); }
    void operator()(fluid_event_t* p) const { delete_fluid_event(p); }
};
template <typename T>
using FluidPtr = std::unique_ptr<T, FluidDelete>;

template <typename T>
FluidPtr<T> created(T* object, std::string_view what) {
    if (object == nullptr)
        throw SoundError("FluidSynth could not create its " + std::string(what) +
                         " (too little memory, or a broken FluidSynth installation): close other "
                         "programs, or reinstall the package libfluidsynth3");
    return FluidPtr<T>(object);
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool isNote(const MidiEvent& event) {
    const int type = event.status & 0xF0;
    return (type == 0x80 || type == 0x90) && event.data1 < 0x80 && event.data2 < 0x80;
}

FluidPtr<fluid_audio_driver_t> openAudioDriver(fluid_settings_t* settings, fluid_synth_t* synth,
                                               const std::string& requested) {
    std::vector<std::string> drivers(kAudioDrivers.begin(), kAudioDrivers.end());
    if (!requested.empty())
        drivers = {requested};
    else if (auto named = ProcessProperties::get(kAudioDriverVariable); named && !named->empty())
        drivers = {*named};

    std::string tried;
    for (const std::string& driver : drivers) {
        fluid_settings_setstr(settings, "audio.driver", driver.c_str());
        if (FluidPtr<fluid_audio_driver_t> audio{new_fluid_audio_driver(settings, synth)})
            return audio;
        tried += (tried.empty() ? "" : ", ") + driver;
    }
    throw SoundError("No audio output could be opened (tried FluidSynth's audio drivers " + tried +
                     "): check that the sound system (PipeWire or PulseAudio) is running and that "
                     "your user may use the sound device, or name a working FluidSynth audio "
                     "driver (pulseaudio, alsa, jack, oss) in the environment variable "
                     "SCALINO_AUDIO_DRIVER");
}

}  // namespace

// Declared in the order of creation: members are destroyed in reverse, so the audio driver
// stops calling the synthesiser before the sequencer and the synthesiser go.
struct FluidSynthSequencer::Engine {
    FluidPtr<fluid_settings_t> settings;
    FluidPtr<fluid_synth_t> synth;
    FluidPtr<fluid_sequencer_t> sequencer;
    fluid_seq_id_t synthClient = -1;
    FluidPtr<fluid_event_t> event;
    FluidPtr<fluid_audio_driver_t> audio;
};

FluidSynthSequencer::FluidSynthSequencer() : FluidSynthSequencer(Options{}) {}

FluidSynthSequencer::FluidSynthSequencer(Options options) : options_(std::move(options)) {}

FluidSynthSequencer::~FluidSynthSequencer() {
    close();
}

std::string FluidSynthSequencer::soundFontPath() const {
    if (!options_.soundFont.empty()) return options_.soundFont;
    if (auto named = ProcessProperties::get(kSoundFontVariable); named && !named->empty())
        return *named;
    for (const char* location : kSoundFontLocations)
        if (std::filesystem::exists(location)) return location;
    std::string looked;
    for (const char* location : kSoundFontLocations)
        looked += (looked.empty() ? "" : ", ") + std::string(location);
    throw SoundError("No General MIDI soundfont found (looked for " + looked +
                     "): " + std::string(kInstallHint));
}

void FluidSynthSequencer::open() {
    if (engine_) return;
    const std::string soundFont = soundFontPath();
    if (!std::filesystem::exists(soundFont))
        throw SoundError("The soundfont file " + quoted(soundFont) +
                         " does not exist: " + std::string(kInstallHint));

    auto engine = std::make_unique<Engine>();
    engine->settings = created(new_fluid_settings(), "settings");
    engine->synth = created(new_fluid_synth(engine->settings.get()), "synthesiser");
    if (fluid_synth_sfload(engine->synth.get(), soundFont.c_str(), 1) == FLUID_FAILED)
        throw SoundError("The file " + quoted(soundFont) +
                         " is not a soundfont FluidSynth can read: " + std::string(kInstallHint));
    // Timed by the synthesiser's samples rather than the system clock, so that an event is
    // exactly where it belongs in the sound, played or rendered.
    engine->sequencer = created(new_fluid_sequencer2(0), "sequencer");
    engine->synthClient =
        fluid_sequencer_register_fluidsynth(engine->sequencer.get(), engine->synth.get());
    if (engine->synthClient == FLUID_FAILED)
        throw SoundError(
            "FluidSynth could not connect its sequencer to the synthesiser: "
            "reinstall the package libfluidsynth3");
    engine->event = created(new_fluid_event(), "sequencer event");
    if (options_.output == Output::Device)
        engine->audio =
            openAudioDriver(engine->settings.get(), engine->synth.get(), options_.audioDriver);
    engine_ = std::move(engine);
}

void FluidSynthSequencer::load(const MidiSequence& sequence) {
    if (sequence.resolution <= 0)
        throw std::invalid_argument("A sequence needs a positive number of ticks per quarter note");
    for (const MidiEvent& event : sequence.track)
        if (!isNote(event) || event.tick < 0)
            throw std::invalid_argument("Only note-on and note-off messages can be played");
    sequence_ = sequence;
}

void FluidSynthSequencer::rewindAndStart() {
    if (!engine_) return;
    fluid_sequencer_t* sequencer = engine_->sequencer.get();
    fluid_event_t* event = engine_->event.get();
    fluid_sequencer_remove_events(sequencer, -1, engine_->synthClient, -1);
    // The note-offs just dropped would otherwise leave their notes held for ever.
    std::set<int> channels;
    for (const MidiEvent& midi : sequence_.track)
        channels.insert(midi.status & 0x0F);
    for (int channel : channels)
        fluid_synth_all_notes_off(engine_->synth.get(), channel);

    const double msPerTick = 60'000.0 / (kQuarterNotesPerMinute * sequence_.resolution);
    // One reference time for all events, so that the rendering thread moving on between two of
    // them cannot stretch the distances.
    const unsigned int start = fluid_sequencer_get_tick(sequencer);
    for (const MidiEvent& midi : sequence_.track) {
        fluid_event_set_source(event, -1);
        fluid_event_set_dest(event, engine_->synthClient);
        const int channel = midi.status & 0x0F;
        if ((midi.status & 0xF0) == 0x90)
            fluid_event_noteon(event, channel, static_cast<short>(midi.data1), midi.data2);
        else
            fluid_event_noteoff(event, channel, static_cast<short>(midi.data1));
        const auto at = start + static_cast<unsigned int>(std::lround(midi.tick * msPerTick));
        if (fluid_sequencer_send_at(sequencer, event, at, 1) == FLUID_FAILED)
            std::cerr << "Sound output: FluidSynth did not take a note event\n";
    }
}

void FluidSynthSequencer::close() {
    engine_.reset();
}

FluidSynthSequencer::Engine& FluidSynthSequencer::offlineEngine() const {
    if (!engine_ || options_.output != Output::Offline)
        throw std::logic_error("Only an open sequencer with offline output can be rendered");
    return *engine_;
}

int FluidSynthSequencer::sampleRate() const {
    double rate = 0;
    fluid_settings_getnum(offlineEngine().settings.get(), "synth.sample-rate", &rate);
    return static_cast<int>(rate);
}

std::vector<float> FluidSynthSequencer::render(int frames) {
    std::vector<float> samples(2 * static_cast<std::size_t>(frames));
    if (fluid_synth_write_float(offlineEngine().synth.get(), frames, samples.data(), 0, 2,
                                samples.data(), 1, 2) == FLUID_FAILED)
        throw std::runtime_error("FluidSynth could not render the sound");
    return samples;
}

std::vector<FluidSynthSequencer::Voice> FluidSynthSequencer::playingVoices() const {
    fluid_synth_t* synth = offlineEngine().synth.get();
    std::vector<fluid_voice_t*> list(fluid_synth_get_polyphony(synth) + 1, nullptr);
    fluid_synth_get_voicelist(synth, list.data(), static_cast<int>(list.size()), -1);
    std::vector<Voice> voices;
    for (fluid_voice_t* voice : list) {
        if (voice == nullptr) break;
        voices.push_back({fluid_voice_get_channel(voice), fluid_voice_get_key(voice),
                          fluid_voice_is_on(voice) != 0});
    }
    return voices;
}

std::unique_ptr<Sequencer> defaultSequencer() {
    return std::make_unique<FluidSynthSequencer>();
}

}  // namespace scalino
