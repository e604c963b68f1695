#include "util/text_lines.h"

#include <gtest/gtest.h>

TEST(TextLines, SplitBreaksLikeAStringList) {
    struct Case { QString text; QStringList lines; };
    const Case cases[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\n\r", {"", ""}},
        {"a\n\rb", {"a", "", "b"}},
        {"", {}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(text_lines::Split(text), lines) << text.toStdString();
}

TEST(TextLines, JoinEndsEveryLineWithCrLf) {
    EXPECT_EQ(text_lines::Join({"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(text_lines::Join({}), "");
    EXPECT_EQ(text_lines::Normalised("a\nb"), "a\r\nb\r\n");
}
