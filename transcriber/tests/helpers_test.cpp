// Table tests for the pure helpers: time text, sample indices, speaker estimate, colours,
// confidence styles and the progress step.
#include "segment-printer.h"
#include "time-helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(ToTimestamp, Forms) {
    struct { int64_t t; bool comma; const char * text; } cases[] = {
        {0, false, "00:00:00.000"},
        {12345, false, "00:02:03.450"},
        {12345, true, "00:02:03,450"},
        {6543210, true, "18:10:32,100"},
        {99, false, "00:00:00.990"},
        {360000, false, "01:00:00.000"},
        {360000LL * 123 + 6001, false, "123:01:00.010"},
    };
    for (const auto & c : cases) {
        EXPECT_EQ(to_timestamp(c.t, c.comma), c.text) << c.t;
    }
}

TEST(TimestampToSample, LimitsAndRounding) {
    struct { int64_t t; int n; int sample; } cases[] = {
        {0, 1000, 0},
        {1, 100000, 160},
        {-5, 1000, 0},           // before the start
        {100, 1000, 999},        // past the end: the last sample
        {50, 0, 0},              // no samples at all
        {int64_t(1) << 40, 5000, 4999}, // far beyond the int range
    };
    for (const auto & c : cases) {
        EXPECT_EQ(timestamp_to_sample(c.t, c.n, 16000), c.sample) << c.t;
    }
}

TEST(Speaker, LouderChannelWins) {
    const size_t n = 16000;
    const std::vector<std::vector<float>> left_louder = {std::vector<float>(n, 0.5f), std::vector<float>(n, 0.25f)};
    const std::vector<std::vector<float>> right_louder = {std::vector<float>(n, -0.1f), std::vector<float>(n, 0.2f)};
    const std::vector<std::vector<float>> even = {std::vector<float>(n, 0.3f), std::vector<float>(n, -0.3f)};
    const std::vector<std::vector<float>> near = {std::vector<float>(n, 0.3f), std::vector<float>(n, 0.28f)};

    EXPECT_EQ(estimate_diarization_speaker(left_louder, 0, 100), "(speaker 0)");
    EXPECT_EQ(estimate_diarization_speaker(left_louder, 0, 100, true), "0");
    EXPECT_EQ(estimate_diarization_speaker(right_louder, 0, 100), "(speaker 1)");
    EXPECT_EQ(estimate_diarization_speaker(even, 0, 100), "(speaker ?)");
    EXPECT_EQ(estimate_diarization_speaker(near, 0, 100, true), "?");        // within 10 %
    EXPECT_EQ(estimate_diarization_speaker(left_louder, 50, 50), "(speaker ?)"); // t0 = t1
    EXPECT_EQ(estimate_diarization_speaker(left_louder, 200, 300), "(speaker ?)"); // past the end
}

TEST(Speaker, OnlyTheSegmentCounts) {
    // Left is loud only in the first half second, right only in the second.
    std::vector<std::vector<float>> ch(2, std::vector<float>(16000, 0.0f));
    for (int i = 0; i < 8000; i++) ch[0][i] = 0.5f;
    for (int i = 8000; i < 16000; i++) ch[1][i] = 0.5f;
    EXPECT_EQ(estimate_diarization_speaker(ch, 0, 50, true), "0");
    EXPECT_EQ(estimate_diarization_speaker(ch, 50, 100, true), "1");
}

TEST(Colors, Xterm256) {
    EXPECT_EQ(set_xterm256_foreground(220, 5, 12), "\033[38;5;160m");
    EXPECT_EQ(set_xterm256_foreground(78, 178, 101), "\033[38;5;71m");
    EXPECT_EQ(set_xterm256_foreground(0, 0, 0), "\033[38;5;16m");
    EXPECT_EQ(set_xterm256_foreground(255, 255, 255), "\033[38;5;231m");
    EXPECT_EQ(set_xterm256_foreground(128, 128, 128), "\033[38;5;244m"); // grey ramp
}

TEST(Colors, PaletteTable) {
    const char * expected[7] = {"\033[38;5;160m", "\033[38;5;166m", "\033[38;5;208m", "\033[38;5;215m",
                                "\033[38;5;227m", "\033[38;5;114m", "\033[38;5;71m"};
    ASSERT_EQ(k_colors.size(), 7u);
    for (int i = 0; i < 7; i++) {
        EXPECT_EQ(k_colors[i], expected[i]) << i;
    }
}

TEST(Colors, ConfidenceIndices) {
    EXPECT_EQ(confidence_color_index(1.0f), 6);
    EXPECT_EQ(confidence_color_index(0.5f), 0);
    EXPECT_EQ(confidence_color_index(0.9f), 5);
    EXPECT_EQ(confidence_color_index(0.0f), 0);
    EXPECT_EQ(confidence_color_index(-0.5f), 0);
    EXPECT_EQ(confidence_color_index(std::nextafter(1.0f, 2.0f)), 6);

    EXPECT_EQ(confidence_style_index(0.33f), 1);  // the float nearest 0.33 is above it
    EXPECT_EQ(confidence_style_index(0.66f), 2);
    EXPECT_EQ(confidence_style_index(0.3299f), 0);
    EXPECT_EQ(confidence_style_index(0.6599f), 1);
    EXPECT_EQ(confidence_style_index(1.0f), 2);
}

TEST(Progress, AdvancesOneStepAtATime) {
    int prev = 0;
    std::vector<int> printed;
    for (int p : {3, 12, 13, 14, 40}) {
        if (progress_line_due(p, 5, prev)) {
            printed.push_back(p);
        }
    }
    EXPECT_EQ(printed, (std::vector<int>{12, 13, 40}));
    EXPECT_EQ(prev, 15);
}
