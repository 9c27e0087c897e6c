// Sharing through a stand-in for the Bluetooth send-to program, put first on PATH: it records
// its arguments and exits with the status this test chooses. The default main context runs
// until the reports arrive.
#include "../src/airdrop.h"
#include "lumivane_image.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

class AirDropTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lv-airdrop-XXXXXX";
        work = mkdtemp(pattern);
        fs::create_directory(work / "bin");
        std::ofstream script(work / "bin" / "bluetooth-sendto");
        script << "#!/bin/sh\n"
                  "sleep \"${STANDIN_SLEEP:-0}\"\n"
                  "printf '%s\\n' \"$@\" > \"" << (work / "args").string() << ".$$\"\n"
                  "exit \"${STANDIN_STATUS:-0}\"\n";
        script.close();
        fs::permissions(work / "bin" / "bluetooth-sendto", fs::perms::owner_all);
        old_path = getenv("PATH");
        setenv("PATH", ((work / "bin").string() + ":" + old_path).c_str(), 1);
        file_a = work / "ação.txt";
        file_b = work / "b c.pdf";
        std::ofstream(file_a) << "a";
        std::ofstream(file_b) << "b";
    }
    void TearDown() override {
        setenv("PATH", old_path.c_str(), 1);
        fs::remove_all(work);
    }
    // Iterates the main context until the set has `count` services or the time is up.
    void run_until(std::size_t count) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (lv::shares_in_flight() != count && std::chrono::steady_clock::now() < end)
            g_main_context_iteration(nullptr, FALSE) || (std::this_thread::sleep_for(std::chrono::milliseconds(5)), true);
    }
    std::vector<std::string> recorded() {
        std::vector<std::string> all;
        for (auto &entry : fs::directory_iterator(work))
            if (entry.path().filename().string().rfind("args.", 0) == 0) {
                std::ifstream in(entry.path());
                std::stringstream text;
                text << in.rdbuf();
                all.push_back(text.str());
            }
        return all;
    }
    std::string json(std::initializer_list<std::string> paths) {
        std::string text = "[";
        for (auto &p : paths) text += (text.size() > 1 ? ",\"" : "\"") + p + "\"";
        return text + "]";
    }
    fs::path work, file_a, file_b;
    std::string old_path;
};

TEST_F(AirDropTest, StartsTheProgramAndForgetsItWhenItReports) {
    for (const char *status : {"0", "3"}) {  // shared, then failed
        setenv("STANDIN_STATUS", status, 1);
        ASSERT_EQ(lv_airdrop(json({file_a.string(), file_b.string()}).c_str(), nullptr, 0), 1);
        EXPECT_EQ(lv::shares_in_flight(), 1u);  // the report comes later, on the main context
        run_until(0);
        EXPECT_EQ(lv::shares_in_flight(), 0u);
    }
    auto runs = recorded();
    ASSERT_EQ(runs.size(), 2u);
    for (auto &run : runs) EXPECT_EQ(run, file_a.string() + "\n" + file_b.string() + "\n");
}

TEST_F(AirDropTest, TwoSharesEachLeaveOnTheirOwnReport) {
    setenv("STANDIN_STATUS", "0", 1);
    setenv("STANDIN_SLEEP", "2", 1);
    ASSERT_EQ(lv_airdrop(json({file_a.string()}).c_str(), nullptr, 0), 1);
    setenv("STANDIN_SLEEP", "0", 1);
    ASSERT_EQ(lv_airdrop(json({file_b.string()}).c_str(), nullptr, 0), 1);
    EXPECT_EQ(lv::shares_in_flight(), 2u);
    run_until(1);
    EXPECT_EQ(lv::shares_in_flight(), 1u);
    EXPECT_EQ(recorded().size(), 1u);  // the quick one reported, the slow one still runs
    run_until(0);
    EXPECT_EQ(recorded().size(), 2u);
    unsetenv("STANDIN_SLEEP");
}

TEST_F(AirDropTest, RefusesWhatItCannotSend) {
    char message[8] = "keep";
    for (const std::string &text : {std::string("not json"), std::string("[]"), json({(work / "none").string()}),
                                    json({work.string()}), json({file_a.string(), (work / "none").string()})}) {
        EXPECT_EQ(lv_airdrop(text.c_str(), message, sizeof message), 0) << text;
    }
    EXPECT_STREQ(message, "keep");
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(lv_airdrop(json({file_a.string()}).c_str(), message, sizeof message), 0);
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(lv::shares_in_flight(), 0u);
}

TEST_F(AirDropTest, RefusesOffTheMainThread) {
    int32_t result = 9;
    std::thread([&] { result = lv_airdrop(json({file_a.string()}).c_str(), nullptr, 0); }).join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(lv::shares_in_flight(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(recorded().empty());
}
