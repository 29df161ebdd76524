#include <gtest/gtest.h>

#include "worker/Editor.h"
#include "worker/Remover.h"

namespace scalino {
namespace {

using ConfigHelper::EditOperation, ConfigHelper::EditPosition;

struct EditCase {
    EditOperation operation;
    EditPosition position;
    int n;
    std::string_view value, expected;
};

TEST(EditorTest, KeepsOrRemovesCharactersAtEitherEnd) {
    const EditCase cases[] = {
        {EditOperation::REMOVE, EditPosition::FIRST, 2, "ST+12.5", "+12.5"},
        {EditOperation::KEEP, EditPosition::LAST, 4, "00123.4", "23.4"},
        {EditOperation::REMOVE, EditPosition::LAST, 7, "00123.4", ""},
        {EditOperation::REMOVE, EditPosition::LAST, 3, " 12.5 kg", " 12.5"},
        {EditOperation::KEEP, EditPosition::FIRST, 3, " -12.5", " -1"},  // spaces and signs count
        {EditOperation::KEEP, EditPosition::FIRST, 7, "00123.4", "00123.4"},
        // More characters than the value has: nothing left, or all of it kept.
        {EditOperation::REMOVE, EditPosition::FIRST, 9, "12.5", ""},
        {EditOperation::REMOVE, EditPosition::LAST, 9, "12.5", ""},
        {EditOperation::KEEP, EditPosition::FIRST, 9, "12.5", "12.5"},
        {EditOperation::KEEP, EditPosition::LAST, 9, "12.5", "12.5"},
        {EditOperation::REMOVE, EditPosition::FIRST, 0, "12.5", "12.5"},
        {EditOperation::KEEP, EditPosition::LAST, 3, "", ""},
        // No count (0, as an empty setting reads): the value as it stands, whatever the edit.
        {EditOperation::KEEP, EditPosition::FIRST, 0, "12.5", "12.5"},
        {EditOperation::KEEP, EditPosition::LAST, 0, "12.5", "12.5"},
        {EditOperation::REMOVE, EditPosition::LAST, 0, "12.5", "12.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Editor(c.operation, c.position, c.n).edit(c.value), c.expected)
            << c.value << " n=" << c.n;
    }
}

TEST(EditorTest, AnEmptyCountInTheSettingsKeepsTheValue) {
    for (const auto position : {EditPosition::FIRST, EditPosition::LAST}) {
        Config config;
        config.setEditOperation(EditOperation::KEEP);
        config.setEditPosition(position);
        config.setEditNumCharacters("");
        EXPECT_EQ(Editor(config).edit("+0012.5 kg"), "+0012.5 kg") << ConfigHelper::name(position);
    }
}

TEST(RemoverTest, DeletesEveryListedCharacterCaseSensitively) {
    EXPECT_EQ(Remover("kg").removeCharacters("1.5kg"), "1.5");
    EXPECT_EQ(Remover("kg").removeCharacters("2Kg"), "2K");
    EXPECT_EQ(Remover("").removeCharacters(" 1 kg"), " 1 kg");
    EXPECT_EQ(Remover("gg k").removeCharacters("k1 g2g"), "12");
    EXPECT_EQ(Remover("\xc2\xb0")
                  .removeCharacters("21\xb0"
                                    "C"),
              "21C");  // typed U+00B0, byte 0xB0
    EXPECT_EQ(Remover("\xc3\xa9").removeCharacters("caf\xe9\xc3"),
              "caf\xc3");  // typed U+00E9: byte 0xE9
    EXPECT_EQ(Remover(",").removeCharacters("1,234,5"), "12345");
    EXPECT_EQ(Remover("\xc3\xbf")
                  .removeCharacters("7\xff"
                                    "8\xfe"),
              "78\xfe");  // typed U+00FF, the last code a byte holds: byte 0xFF
}

}  // namespace
}  // namespace scalino
