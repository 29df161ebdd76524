#include "worker/SoundBot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/FluidSynthSequencer.h"
#include "support/Failure.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

using ConfigHelper::Sound;
using Output = FluidSynthSequencer::Output;

// FluidSynth works in blocks of 64 frames and applies sequencer events at block boundaries, so
// rendering block by block finds each event at the exact block it took effect in.
constexpr int kBlock = 64;
// FluidSynth's output without voices is not exactly 0: its effects leave noise near -150 dB.
constexpr float kSilence = 1e-6f;

FluidSynthSequencer::Options options(Output output, std::string soundFont = "",
                                     std::string audioDriver = "") {
    return {output, std::move(soundFont), std::move(audioDriver)};
}

float peak(const std::vector<float>& samples) {
    float loudest = 0;
    for (float sample : samples)
        loudest = std::max(loudest, std::abs(sample));
    return loudest;
}

int heldVoices(const FluidSynthSequencer& synth) {
    const auto voices = synth.playingVoices();
    return static_cast<int>(
        std::count_if(voices.begin(), voices.end(), [](const auto& voice) { return voice.held; }));
}

// Renders block by block until the number of held voices meets condition; the frames rendered,
// or -1 past the limit.
int framesUntil(FluidSynthSequencer& synth, const std::function<bool(int held)>& condition,
                int limit) {
    for (int frames = 0; frames <= limit; frames += kBlock) {
        if (condition(heldVoices(synth))) return frames;
        synth.render(kBlock);
    }
    return -1;
}

// A sound player on real FluidSynth that renders offline, with its synthesiser to listen to.
class SoundBotTest : public ::testing::Test {
protected:
    void SetUp() override {
        try {
            FluidSynthSequencer().soundFontPath();
        } catch (const SoundError& error) {
            GTEST_SKIP() << "No soundfont (scripts/install-deps.sh installs one): " << error.what();
        }
    }

    std::unique_ptr<SoundBot> offlineBot(Sound sound) {
        return makeSoundBot(sound, [this] {
            auto sequencer = std::make_unique<FluidSynthSequencer>(options(Output::Offline));
            synth_ = sequencer.get();
            return sequencer;
        });
    }

    // A quarter of a quarter note at 120 quarter notes a minute: 125 ms.
    int oneTickInFrames() const { return synth_->sampleRate() / 8; }

    FluidSynthSequencer* synth_ = nullptr;  // owned by the bot
};

TEST_F(SoundBotTest, EverySoundPlaysItsPercussionKeyOnTheDrumChannelOnlyWhenBeeping) {
    const struct {
        Sound sound;
        int key;  // General MIDI percussion key map
    } cases[] = {{Sound::RIDE_BELL, 53}, {Sound::COWBELL, 56}, {Sound::HIGH_AGOGO, 67},
                 {Sound::LOW_AGOGO, 68}, {Sound::CLAVES, 75},  {Sound::OPEN_TRIANGLE, 81}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        auto bot = offlineBot(c.sound);
        ASSERT_NE(bot, nullptr);
        EXPECT_LT(peak(synth_->render(4096)), kSilence) << "sound before any beep";

        bot->beep();
        EXPECT_GT(peak(synth_->render(2048)), 0.01f) << "no audible note after the beep";
        const auto voices = synth_->playingVoices();
        ASSERT_FALSE(voices.empty());
        for (const auto& voice : voices)
            EXPECT_EQ(voice, (FluidSynthSequencer::Voice{9, c.key, true}));
    }
}

// Cowbell and claves die away within a tick by themselves; ride bell and triangle ring on, so
// their release shows the note-off.
TEST_F(SoundBotTest, NoteIsReleasedOneTickAfterItStarts) {
    auto bot = offlineBot(Sound::RIDE_BELL);
    bot->beep();
    const int onAt = framesUntil(
        *synth_, [](int held) { return held > 0; }, kBlock * 4);
    ASSERT_GE(onAt, 0) << "the note never started";
    const int heldFor = framesUntil(
        *synth_, [](int held) { return held == 0; }, 48000);
    ASSERT_GE(heldFor, 0) << "the note was never released";
    EXPECT_NEAR(heldFor, oneTickInFrames(), kBlock);
    EXPECT_FALSE(synth_->playingVoices().empty()) << "cut off rather than released";
}

TEST_F(SoundBotTest, SecondBeepRestartsTheSoundingNote) {
    auto bot = offlineBot(Sound::OPEN_TRIANGLE);
    bot->beep();
    synth_->render(kBlock);
    const int voicesOfOneNote = heldVoices(*synth_);
    ASSERT_GT(voicesOfOneNote, 0);
    const int halfTick = oneTickInFrames() / 2 / kBlock * kBlock;
    synth_->render(halfTick);

    bot->beep();
    synth_->render(kBlock);
    EXPECT_EQ(heldVoices(*synth_), voicesOfOneNote) << "the first note goes on sounding";
    const int heldFor = framesUntil(
        *synth_, [](int held) { return held == 0; }, 48000);
    EXPECT_NEAR(heldFor + kBlock, oneTickInFrames(), kBlock)
        << "the first beep's note-off cut the second note short";
}

TEST_F(SoundBotTest, NoSoundOpensNoSynthesiser) {
    int obtained = 0;
    auto bot = makeSoundBot(Sound::NONE, [&obtained] {
        ++obtained;
        return std::make_unique<FluidSynthSequencer>();
    });
    EXPECT_EQ(bot, nullptr);
    EXPECT_EQ(obtained, 0);
    EXPECT_EQ(makeSoundBot(Sound::NONE), nullptr);  // the default path opens nothing either
}

TEST_F(SoundBotTest, FailureToStartSaysWhatIsMissingAndWhatToDo) {
    const auto notASoundFont = std::filesystem::temp_directory_path() /
                               ("scalino-not-a-soundfont-" + std::to_string(getpid()) + ".sf2");
    std::ofstream(notASoundFont) << "RIFF? no, just text\n";
    const struct {
        const char* situation;
        FluidSynthSequencer::Options options;
        std::string soundFontVariable;
        std::vector<std::string> mentions;
    } cases[] = {
        {"missing soundfont file",
         options(Output::Offline, "/nonexistent/GM.sf2"),
         "",
         {"/nonexistent/GM.sf2", "does not exist", "timgm6mb-soundfont", "SCALINO_SOUNDFONT"}},
        {"soundfont named by the variable missing",
         options(Output::Offline),
         "/nonexistent/named.sf2",
         {"/nonexistent/named.sf2", "does not exist", "SCALINO_SOUNDFONT"}},
        {"file that is no soundfont",
         options(Output::Offline, notASoundFont.string()),
         "",
         {notASoundFont.string(), "not a soundfont", "timgm6mb-soundfont"}},
        {"audio output that cannot open",
         options(Output::Device, "", "no-such-driver"),
         "",
         {"No audio output", "no-such-driver", "sound system", "SCALINO_AUDIO_DRIVER"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        if (!c.soundFontVariable.empty())
            ProcessProperties::set("SCALINO_SOUNDFONT", c.soundFontVariable);
        const std::string message = test::failureMessage<SoundError>([&c] {
            makeSoundBot(Sound::COWBELL,
                         [&c] { return std::make_unique<FluidSynthSequencer>(c.options); });
        });
        ProcessProperties::clear("SCALINO_SOUNDFONT");
        ASSERT_FALSE(message.empty()) << "no error";
        for (const auto& mention : c.mentions)
            EXPECT_NE(message.find(mention), std::string::npos)
                << message << "\n  lacks: " << mention;
    }
    std::filesystem::remove(notASoundFont);
}

}  // namespace
}  // namespace scalino
