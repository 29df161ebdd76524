// Where the window's messages send the user to change a setting: the control's own caption on
// its own tab, in every language the window speaks.
#include <gtest/gtest.h>

#include "scalino/QtText.h"
#include "util/ResourceBundle.h"

namespace scalino {
namespace {

// "Input terminator:", "Port\u00a0:" -> the caption as a sentence names it.
std::string captionOf(std::string label) {
    for (std::string_view end : {":", " ", "\u00a0"}) {
        if (label.ends_with(end)) label.resize(label.size() - end.size());
    }
    return label;
}

TEST(SettingControlTest, EachPhraseNamesTheControlsCaptionAndItsTab) {
    // The setting and the key of its control's label or button text, all on the Input tab.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"port", "VozevuZaDezFrame2.label2.text"},
        {"instrument", "VozevuZaDezFrame2.deviceLabel.text"},
        {"inputTerminator", "VozevuZaDezFrame2.label9.text"},
        {"customRegEx", "VozevuZaDezFrame2.customizeButton.text"},
    };
    for (const char* language : {"", "de", "fr"}) {
        const ResourceBundle& bundle =
            ResourceBundle::getBundle(kWindowBundleName, Locale::parse(language));
        for (const auto& [setting, caption] : cases) {
            SCOPED_TRACE(std::string(language) + " " + setting);
            const std::string& phrase = bundle.getString("setting.control." + setting);
            EXPECT_NE(phrase.find(captionOf(bundle.getString(caption))), std::string::npos)
                << phrase;
            EXPECT_NE(phrase.find(bundle.getString("VozevuZaDezFrame2.inputPanel.tab.title")),
                      std::string::npos)
                << phrase;
        }
    }
}

}  // namespace
}  // namespace scalino
