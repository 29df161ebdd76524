#include "worker/LineProcessor.h"

#include <gtest/gtest.h>

#include "support/ConfigBuilder.h"
#include "util/Text.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using test::configWith;

struct Processed {
    std::string value;
    std::vector<std::string> events;
};

Processed process(const Config& config, std::string_view line) {
    Processed result;
    LineProcessor processor(config, LineProcessor::semanticsFor(config),
                            [&](const std::string& event) { result.events.push_back(event); });
    result.value = processor.process(line);
    return result;
}

struct LineCase {
    std::initializer_list<std::pair<std::string_view, std::string_view>> settings;
    std::string_view line, value;
};

TEST(LineProcessorTest, ExtractsEditsRemovesStripsAndFormatsInThatOrder) {
    const LineCase cases[] = {
        {{{"instrument", "AND"}}, "ST,+00012.34  g\r\n", "12.34"},
        {{{"instrument", "AND"}, {"decimalPlaces", "1"}}, "ST,+00012.35  g\r\n", "12.4"},
        {{{"instrument", "AND"}, {"decimalSeparator", "COMMA"}}, "US, -00012,45 g\r\n", "-12,45"},
        {{{"instrument", "AND"}}, "ST, 12345,67 kg\r\n", ""},  // a sign is required: no value
        {{{"instrument", "KERN_MPS"}}, "N  60.24 kg\n", "60.24"},
        {{{"instrument", "ADAM_CPWPLUS"}}, "G/W:+ 60.24   kg\n", "60.24"},  // inner space stripped
        {{{"instrument", "ADAM_CBK"}}, "  -1.8999 kg\n", "-1.8999"},
        {{{"instrument", "WEDDERBURN"}}, "0    2.45\n", "2.45"},
        {{{"instrument", "SCHLAGE_HANDPUNCH"}}, "... ID ( 999)\n", "999"},
        {{{"customRegEx", "W=([0-9.]+)"}}, "T=21.5 W=3.25\r", "3.25"},
        {{{"customRegEx", "(x)?W=([0-9.]+)"}}, "W=3.25\r", ""},  // group 1 took no part
        {{{"customRegEx", "[)]"}}, "a)b\r", ""},                 // no group 1 at all
        // Editing counts the spaces the expression captured; whitespace goes only afterwards.
        {{{"instrument", "ADAM_GC_WEIGHT"}, {"editNumCharacters", "6"}},
         "Net Wt     0.0845 kg\r",
         "845"},
        {{{"customRegEx", "(ST[^\\r]*)"}, {"editNumCharacters", "3"}, {"removeCharacters", "g "}},
         "ST,+12.5 g\r",
         "12.5"},
        {{{"customRegEx", "(.*)"},
          {"editNumCharacters", "3"},
          {"editOperation", "KEEP"},
          {"editPosition", "LAST"}},
         "12.5\r",
         "2.5"},
        {{{"instrument", "AND"}, {"editNumCharacters", "20"}}, "ST,+00012.34  g\r\n", ""},
        {{{"instrument", "AND"},
          {"mathOperation", "MULTIPLY"},
          {"mathOperand", "1000"},
          {"decimalPlaces", "2"},
          {"roundingMethod", "HALF_EVEN"}},
         "ST,+00012.34567 g\r\n",
         "12345.67"},
        {{{"customRegEx", "(\\s+)"}}, "a \t b\r", ""},  // only whitespace: nothing to format
    };
    for (const auto& c : cases) {
        const Config config = configWith(c.settings);
        try {
            EXPECT_EQ(process(config, c.line).value, c.value) << readableForm(c.line);
        } catch (const ProcessingError& error) {
            ADD_FAILURE() << readableForm(c.line) << ": " << error.what();
        }
    }
}

TEST(LineProcessorTest, PlainLinesThatAreNotNumbersFail) {
    const Config config = configWith({{"customRegEx", "([a-z]+)"}});
    EXPECT_THROW(process(config, "abc 12\r"), ProcessingError);
}

TEST(LineProcessorTest, BarcodesKeepTheirTextAndFailOneLineAtATime) {
    const Config config = configWith({{"instrument", "BARCODE_ALPHA_COMPLETE"}});
    EXPECT_EQ(process(config, "AB 12-3\r").value, "AB 12-3");
    EXPECT_EQ(
        process(configWith({{"instrument", "BARCODE_ALPHA_COMPLETE"}, {"removeCharacters", "-"}}),
                "+49-170\r")
            .value,
        "+49170");
    EXPECT_EQ(
        process(configWith({{"instrument", "BARCODE"}, {"customRegEx", "[)]"}}), "a)\r").value, "");
    const Config optional = configWith({{"instrument", "BARCODE"}, {"customRegEx", "(a)|b"}});
    LineProcessor processor(optional, LineProcessor::Semantics::Barcode, nullptr);
    EXPECT_THROW(processor.process("b\r"), ProcessingError);
    EXPECT_EQ(processor.process("a\r"), "a");  // the next line is processed from its own bytes
}

TEST(LineProcessorTest, ARunawayExpressionCostsOnlyItsLine) {
    const Config config = configWith({{"customRegEx", "^(a+)+$"}});
    const Processed runaway = process(config, std::string(40, 'a') + "!\r");
    EXPECT_EQ(runaway.value, "");
    ASSERT_EQ(runaway.events.size(), 1u);
    EXPECT_EQ(runaway.events[0], workerText("expression.too.complex"));
}

}  // namespace
}  // namespace scalino
