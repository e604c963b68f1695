#include "util/b64url.h"

#include <gtest/gtest.h>

TEST(TB64URL, EncodesUtf8BytesWithoutPadding) {
    const std::pair<QString, QString> cases[] = {
        {"", ""},     {"abc", "YWJj"}, {"ab", "YWI"},     {"a", "YQ"},
        {"é", "w6k"}, {"~~~", "fn5-"}, {"???", "Pz8_"},
    };
    for (const auto& [text, encoded] : cases) EXPECT_EQ(TB64URL::encode(text), encoded) << text.toStdString();
}
