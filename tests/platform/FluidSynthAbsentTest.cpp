// A build without FluidSynth: the default sequencer refuses to open and says that values come
// without sound, which a connection logs before going on without it.
#include <gtest/gtest.h>

#include "platform/FluidSynthSequencer.h"

namespace scalino {
namespace {

TEST(FluidSynthAbsentTest, DefaultSequencerSaysValuesComeWithoutSound) {
    const std::unique_ptr<Sequencer> sequencer = defaultSequencer();
    ASSERT_NE(sequencer, nullptr);
    try {
        sequencer->open();
        FAIL() << "sound opened in a build without FluidSynth";
    } catch (const SoundError& error) {
        EXPECT_NE(std::string(error.what()).find("values come without sound"), std::string::npos)
            << error.what();
    }
}

TEST(FluidSynthAbsentTest, SoundBotForASoundFailsWithTheSameWords) {
    EXPECT_THROW(makeSoundBot(ConfigHelper::Sound::COWBELL), SoundError);
    EXPECT_EQ(makeSoundBot(ConfigHelper::Sound::NONE), nullptr);
}

}  // namespace
}  // namespace scalino
