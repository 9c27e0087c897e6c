#include "../src/message_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char *generic_failure = "Não foi possível concluir a operação.";

// A buffer with guard bytes on both sides, so that a write past either end shows.
struct GuardedBuffer {
    static constexpr int guard = 8;
    char storage[128];
    explicit GuardedBuffer() { std::memset(storage, '#', sizeof storage); }
    char *data() { return storage + guard; }
    bool guards_intact(int capacity) const {
        for (int i = 0; i < guard; ++i)
            if (storage[i] != '#') return false;
        for (int i = guard + capacity; i < static_cast<int>(sizeof storage); ++i)
            if (storage[i] != '#') return false;
        return true;
    }
};

TEST(MessageBuffer, CopiesWithStrlcpyRules) {
    struct Case {
        const char *text;
        int capacity;
        std::string expected;
    } cases[] = {
        {"abc", 10, "abc"},
        {"abc", 4, "abc"},  // exact fit: three bytes and the terminator
        {"abc", 3, "ab"},
        {"abc", 1, ""},
        // "ã" is two bytes (c3 a3): a cut after "N" plus one byte keeps half of it.
        {"Não", 3, std::string("N\xc3")},
        {"", 5, ""},
    };
    for (const Case &c : cases) {
        GuardedBuffer buffer;
        lv_copy_message(c.text, buffer.data(), c.capacity);
        EXPECT_EQ(std::string(buffer.data()), c.expected) << c.text << " / " << c.capacity;
        EXPECT_TRUE(buffer.guards_intact(c.capacity)) << c.text << " / " << c.capacity;
    }
}

TEST(MessageBuffer, UnwritableBufferIsLeftAlone) {
    for (int capacity : {0, -1, -1000}) {
        GuardedBuffer buffer;
        lv_copy_message("abc", buffer.data(), capacity);
        EXPECT_EQ(buffer.data()[0], '#') << capacity;
        EXPECT_TRUE(buffer.guards_intact(0));
    }
    lv_copy_message("abc", nullptr, 10);  // must not crash
    lv_action_error(nullptr, nullptr, 10);
}

TEST(ActionError, PrefersTheLocalizedDescription) {
    char buffer[64];
    lv::PlatformError error{"O arquivo não existe."};
    lv_action_error(&error, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "O arquivo não existe.");

    lv_action_error(nullptr, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, generic_failure);

    lv::PlatformError silent;
    lv_action_error(&silent, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, generic_failure);
}

TEST(ActionError, CutsLongMessagesAndRespectsCapacity) {
    GuardedBuffer buffer;
    lv_action_error(nullptr, buffer.data(), 2);
    EXPECT_STREQ(buffer.data(), "N");
    EXPECT_TRUE(buffer.guards_intact(2));

    GuardedBuffer one;
    lv_action_error(nullptr, one.data(), 1);
    EXPECT_EQ(one.data()[0], '\0');
    EXPECT_TRUE(one.guards_intact(1));

    GuardedBuffer none;
    lv_action_error(nullptr, none.data(), 0);
    EXPECT_EQ(none.data()[0], '#');
}

}  // namespace
