#include "host/ScriptWords.h"

#include <gtest/gtest.h>

using velmora::compareBy;
using velmora::splitScriptLine;

TEST(ScriptWordsTest, SplitsLikeAShell)
{
    std::string error;
    using tWords = std::vector<std::string>;
    EXPECT_EQ(*splitScriptLine("  press  tolvane   \"Create New\"  ", error), (tWords{"press", "tolvane", "Create New"}));
    EXPECT_EQ(*splitScriptLine("set parvex #3 10 # set the third control", error), (tWords{"set", "parvex", "#3", "10"}));
    EXPECT_EQ(*splitScriptLine("# only a comment", error), tWords{});
    EXPECT_EQ(*splitScriptLine("", error), tWords{});
    EXPECT_EQ(*splitScriptLine("cell tolvane 1 2 \"say \"\"hi\"\"\"", error), (tWords{"cell", "tolvane", "1", "2", "say \"hi\""}));
    EXPECT_EQ(*splitScriptLine("answer file \"\"", error), (tWords{"answer", "file", ""}));
    EXPECT_EQ(*splitScriptLine("a b#c", error), (tWords{"a", "b#c"})); // '#' inside a word is text
    EXPECT_EQ(*splitScriptLine("a #x1", error), (tWords{"a"}));        // not an address: a comment
    EXPECT_FALSE(splitScriptLine("press x \"open", error).has_value());
    EXPECT_EQ(error, "unterminated quote");
}

TEST(ScriptWordsTest, Comparisons)
{
    EXPECT_TRUE(*compareBy("==", 3, 3));
    EXPECT_TRUE(*compareBy("!=", 3, 4));
    EXPECT_TRUE(*compareBy("<", 3, 4));
    EXPECT_FALSE(*compareBy("<", 4, 4));
    EXPECT_TRUE(*compareBy("<=", 4, 4));
    EXPECT_TRUE(*compareBy(">", 5, 4));
    EXPECT_TRUE(*compareBy(">=", 4, 4));
    EXPECT_FALSE(compareBy("=", 4, 4).has_value());
}
