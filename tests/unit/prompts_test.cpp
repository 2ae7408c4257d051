// The overwrite question and the disc wait over a scripted console.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "front/driver.h"
#include "front/prompts.h"
#include "tests/fake/fake_platform.h"

namespace {

const std::string QUESTION = "Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? ";

TEST(OverwriteQuestion, AnswersFollowTheLineRules)
{
    struct Case { const char* typed; bool yes; const char* after_question; const char* left; } cases[] = {
        {"y\n", true, "\n", ""},
        {"Y\r\n", true, "\n", "\n"},
        {"yes\n", true, "\n", "s\n"},
        {"Yo\n", true, "\n", "\n"},
        {"nope\n", false, "\n", "pe\n"},
        {"\nn\n", false, "\n", ""},
        {"x\nn\n", false, "\b\n", ""},
        {"xyz\nn\n", false, "\b\b\n", ""},
        {"\x1b\ny\n", true, "\n", ""},
        {"a\x1b\ny\n", true, "\n", ""},
        {"", false, "\n", ""},
        {"x\n", false, "\b\n", ""},
    };
    for (const Case& c : cases) {
        fake::reset();
        fake::console_lines = c.typed;
        testing::internal::CaptureStdout();
        bool yes = confirm_overwrite();
        std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(yes, c.yes) << c.typed;
        EXPECT_EQ(output, QUESTION + c.after_question) << c.typed;
        EXPECT_EQ(fake::console_lines, c.left) << "typed-ahead input stays pending: " << c.typed;
    }
}

TEST(DiscWait, OnlyEnterAndEscEndAWait)
{
    const std::string prompt = "Please insert disc for file disc/KORVADIS.001 and press enter.";
    struct Case { std::vector<int> keys; bool inserted_on_enter; bool present; std::string output; } cases[] = {
        {{'a', 0, 'H', 3, 224, 13}, true, true, prompt + "\n"},
        {{13, 'q', 13}, false, false, prompt + "\n" + prompt + "\n" + prompt + "\n"},
        {{'a', 27}, false, false, prompt + "\n"},
        {{13, 13}, true, true, prompt + "\n"},
    };
    for (const Case& c : cases) {
        fake::reset();
        strcpy(source_path, "disc/KORVADIS.001");
        fake::console_keys = c.keys;
        int enters = 0;
        fake::on_key = [&](int key) {
            if (key == 13 && c.inserted_on_enter && ++enters == 1)
                fake::files["disc/KORVADIS.001"].data.assign(10, 1);
        };
        testing::internal::CaptureStdout();
        bool present = wait_for_part();
        EXPECT_EQ(present, c.present);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    }
}

TEST(DiscWait, PresentPartIsNotPromptedForAndNoConsoleAbandons)
{
    fake::reset();
    strcpy(source_path, "disc/KORVADIS.IMG");
    fake::files["disc/KORVADIS.IMG"].data.assign(10, 1);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(wait_for_part());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    fake::files.clear();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(wait_for_part());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Please insert disc for file disc/KORVADIS.IMG and press enter.\n");
}

} // namespace
