#include "../src/json_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string text_of(const nlohmann::json &value) {
    std::unique_ptr<char, decltype(&std::free)> text(lv::json_result_text(value), &std::free);
    return text ? std::string(text.get()) : std::string("<null>");
}

TEST(JsonText, CompactRawUtf8AndEscapedSolidus) {
    EXPECT_EQ(text_of({{"Codigos", {"https://exemplo.com/a", "ação"}}}),
              R"({"Codigos":["https:\/\/exemplo.com\/a","ação"]})");
    EXPECT_EQ(text_of({{"Linhas", nlohmann::json::array()}}), R"({"Linhas":[]})");
    EXPECT_EQ(text_of({{"Erro", "a \"b\"\n"}}), R"({"Erro":"a \"b\"\n"})");
}

TEST(JsonText, InvalidUtf8IsRepairedNotRefused) {
    const std::string text = text_of({{"Codigos", {std::string("a\xff" "b")}}});
    EXPECT_EQ(text, "{\"Codigos\":[\"a\xef\xbf\xbd" "b\"]}");
}

TEST(JsonText, SinglePrecisionNumbersAreShortAndLocaleFree) {
    std::setlocale(LC_ALL, "pt_BR.UTF-8");  // a decimal comma locale where installed
    const double widened = lv::single_precision(0.96f);
    EXPECT_EQ(static_cast<float>(widened), 0.96f);
    EXPECT_EQ(text_of({{"Confianca", widened}}), R"({"Confianca":0.96})");
    std::setlocale(LC_ALL, "C");
}

}  // namespace
