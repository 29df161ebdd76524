#include "worker/SoundBot.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace scalino {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kVelocity = 127;

}  // namespace

SoundBot::SoundBot(std::unique_ptr<Sequencer> sequencer, int percussionNumber)
    : sequencer_(std::move(sequencer)), seq_(percussionNote(percussionNumber)) {
    sequencer_->open();
    sequencer_->load(seq_);
}

SoundBot::~SoundBot() {
    close();
}

MidiSequence SoundBot::percussionNote(int percussionNumber) {
    if (percussionNumber < 0 || percussionNumber > 127)
        throw std::invalid_argument("Percussion number " + std::to_string(percussionNumber) +
                                    " is not a MIDI note number (0 to 127)");
    const auto note = static_cast<std::uint8_t>(percussionNumber);
    return {kResolution,
            {{0, kNoteOn | kPercussionChannel, note, kVelocity},
             {1, kNoteOff | kPercussionChannel, note, kVelocity}}};
}

void SoundBot::beep() {
    if (sequencer_) sequencer_->rewindAndStart();
}

void SoundBot::close() {
    if (!sequencer_) return;
    sequencer_->close();
    sequencer_.reset();
}

std::unique_ptr<SoundBot> makeSoundBot(ConfigHelper::Sound sound,
                                       const SequencerFactory& defaultSequencer) {
    if (sound == ConfigHelper::Sound::NONE) return nullptr;
    return std::make_unique<SoundBot>(defaultSequencer(), ConfigHelper::getPercussionNumber(sound));
}

}  // namespace scalino
