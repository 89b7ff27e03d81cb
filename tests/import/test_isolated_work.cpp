#include "host/import/CIsolatedWork.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using velmora::import::CIsolatedWork;

namespace {

// Every message of the child as "TYPE:TEXT", and how it ended.
std::pair<std::vector<std::string>, std::string> run(const std::function<void(CIsolatedWork::CChannel&)>& work,
                                                     int silenceLimitMs = CIsolatedWork::SILENCE_LIMIT_MS)
{
    CIsolatedWork child(work, silenceLimitMs);
    std::vector<std::string> messages;
    char type = 0;
    std::uint64_t size = 0;
    while (child.next(type, size))
        messages.push_back(std::string(1, type) + ":" + child.readText(size));
    return {messages, child.finish()};
}

} // namespace

TEST(IsolatedWork, MessagesAndEveryWayAChildCanEnd)
{
    // A normal end, a large message read whole, an exception turned into an error message.
    const std::string large(3 << 20, 'x');
    auto [messages, ending] = run([&](CIsolatedWork::CChannel& channel) {
        channel.message('A', "first");
        channel.message('B', large);
        channel.message('C', nullptr, 0);
    });
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "A:first");
    EXPECT_EQ(messages[1].size(), 2u + (1u << 20)) << "text beyond 1 MiB is read and dropped";
    EXPECT_EQ(messages[2], "C:");
    EXPECT_EQ(ending, "");

    std::tie(messages, ending) = run([](CIsolatedWork::CChannel& channel) {
        channel.message('F', "file");
        throw std::runtime_error("a reason for the user");
    });
    EXPECT_EQ(messages, (std::vector<std::string>{"F:file", "E:a reason for the user"}));
    EXPECT_EQ(ending, "");

    // A library that aborts or crashes ends the child only; the last message names where.
    std::tie(messages, ending) = run([](CIsolatedWork::CChannel& channel) {
        channel.message('F', "damaged");
        std::abort();
    });
    EXPECT_EQ(messages, (std::vector<std::string>{"F:damaged"}));
    EXPECT_NE(ending.find("killed by signal 6"), std::string::npos) << ending;

    std::tie(messages, ending) = run([](CIsolatedWork::CChannel&) { _exit(3); });
    EXPECT_EQ(ending, "it exited with status 3");

    // A child that hangs is stopped after its silence limit.
    std::tie(messages, ending) = run(
        [](CIsolatedWork::CChannel& channel) {
            channel.message('F', "slow");
            for (;;)
                ::pause();
        },
        200);
    EXPECT_EQ(messages, (std::vector<std::string>{"F:slow"}));
    EXPECT_EQ(ending, "it stopped responding for 200 ms and was stopped");

    // Dropping the parent's side early kills and reaps a child that is still writing.
    {
        CIsolatedWork child([](CIsolatedWork::CChannel& channel) {
            for (;;)
                channel.message('X', std::string(4096, 'y'));
        });
        char type = 0;
        std::uint64_t size = 0;
        ASSERT_TRUE(child.next(type, size));
    }
}

TEST(IsolatedWork, MemoryLimitIsRoomBeyondWhatTheParentHolds)
{
    // However much the parent holds (address space counts: 1.5 GiB reserved, never
    // touched), the child may take up to its limit more, and no more: the allocation fails,
    // or under AddressSanitizer the child ends at it.
#if defined(__SANITIZE_ADDRESS__)
    constexpr bool SANITIZED = true;
#else
    constexpr bool SANITIZED = false;
#endif
    std::vector<char> held;
    for (const std::size_t parentBytes : {std::size_t(0), std::size_t(3) << 29}) {
        held.reserve(parentBytes);
        for (const auto& [childBytes, fits] : {std::pair{std::size_t(16) << 20, true}, std::pair{std::size_t(256) << 20, false}}) {
            SCOPED_TRACE("parent holds " + std::to_string(parentBytes >> 20) + " MiB, child asks for "
                         + std::to_string(childBytes >> 20) + " MiB");
            CIsolatedWork child(
                [childBytes](CIsolatedWork::CChannel& channel) {
                    // (volatile: the compiler may not assume that malloc succeeds)
                    char* volatile memory = static_cast<char*>(std::malloc(childBytes));
                    channel.message('A', memory != nullptr ? "yes" : "no");
                },
                CIsolatedWork::SILENCE_LIMIT_MS, std::uint64_t(64) << 20);
            char type = 0;
            std::uint64_t size = 0;
            if (SANITIZED && !fits) {
                EXPECT_FALSE(child.next(type, size));
                EXPECT_EQ(child.finish(), "it exited with status 3");
                continue;
            }
            ASSERT_TRUE(child.next(type, size));
            EXPECT_EQ(child.readText(size), fits ? "yes" : "no");
            EXPECT_EQ(child.finish(), "");
        }
    }
}
