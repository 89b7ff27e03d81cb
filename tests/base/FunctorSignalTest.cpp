#include "toolkit/base/CFunctor.h"
#include "toolkit/mod/CSignal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kvo::base::CFunctor;
using kvo::mod::CSignal;

namespace {

int addThree(int a, int b, int c) { return a + b + c; }
int lastFreeCall = 0;
void recordFree(int value) { lastFreeCall = value; }

struct CShape
{
    virtual ~CShape() = default;
    virtual std::string name(int sides) { return "shape" + std::to_string(sides); }
};
struct CSquare : CShape
{
    std::string name(int sides) override { return "square" + std::to_string(sides); }
};

// Second base so that the member pointer needs an adjustment of the object pointer.
struct CPadding
{
    virtual ~CPadding() = default;
    long padding = 0;
};
struct CCounter : CPadding
{
    int total = 0;
    void add(int a, int b, int c, int d) { total += a + b + c + d; }
};

} // namespace

TEST(FunctorTest, FreeAndMemberFunctionsUpToFourParameters)
{
    CFunctor<int, int, int, int> sum(&addThree);
    EXPECT_EQ(sum(1, 2, 3), 6);

    CSquare square;
    CFunctor<std::string, int> named(static_cast<CShape*>(&square), &CShape::name);
    EXPECT_EQ(named(4), "square4"); // virtual member dispatches to the override

    CCounter counter;
    CFunctor<void, int, int, int, int> add(&counter, &CCounter::add);
    add(1, 2, 3, 4);
    EXPECT_EQ(counter.total, 10);

    CFunctor<void, int> free(&recordFree);
    free(9);
    EXPECT_EQ(lastFreeCall, 9);
}

TEST(FunctorTest, CopyClonesTheHandler)
{
    auto* original = new CFunctor<int, int, int, int>(&addThree);
    CFunctor<int, int, int, int> copy(*original);
    delete original;
    EXPECT_EQ(copy(2, 2, 2), 6);

    CFunctor<int, int, int, int> assigned;
    EXPECT_TRUE(assigned.isEmpty());
    assigned = copy;
    EXPECT_EQ(assigned(1, 1, 1), 3);
}

TEST(SignalTest, EmitsInIdentifierOrderAndNeverReusesIdentifiers)
{
    CSignal<void, int> signal;
    std::vector<int> calls;
    auto first = signal.connect([&](int v) { calls.push_back(10 + v); });
    auto second = signal.connect([&](int v) { calls.push_back(20 + v); });
    auto third = signal.connect([&](int v) { calls.push_back(30 + v); });
    EXPECT_EQ(first.id, 1);
    EXPECT_EQ(second.id, 2);
    EXPECT_EQ(third.id, 3);
    EXPECT_EQ(first.signal, &signal);

    signal.disconnect(2);
    signal.emit(1);
    EXPECT_EQ(calls, (std::vector<int>{11, 31}));
    EXPECT_EQ(signal.connect([](int) {}).id, 4);
    EXPECT_EQ(signal.getCount(), 3u);

    signal.disconnect(2); // twice
    signal.disconnect(99); // never existed
    EXPECT_EQ(signal.getCount(), 3u);

    signal.disconnectAll();
    EXPECT_EQ(signal.getCount(), 0u);
    EXPECT_EQ(signal.connect([](int) {}).id, 5);
}

TEST(SignalTest, BlockedConnectionIsSkipped)
{
    CSignal<void, int> signal;
    int calls = 0;
    auto connection = signal.connect([&](int) { ++calls; });
    signal.block(connection.id, true);
    signal.emit(0);
    EXPECT_EQ(calls, 0);
    signal.block(connection.id, false);
    signal.emit(0);
    EXPECT_EQ(calls, 1);
}

TEST(SignalTest, ConnectAndDisconnectDuringEmissionAreSafe)
{
    CSignal<void, int> signal;
    std::vector<std::string> calls;
    std::int32_t selfId = 0;
    // 1 removes itself (its functor must survive until it returns) and 3; 2 connects a new one.
    selfId = signal.connect([&](int) {
        calls.push_back("one");
        signal.disconnect(selfId);
        signal.disconnect(3);
        std::string keepAlive = "still here";
        calls.push_back(keepAlive);
    }).id;
    signal.connect([&](int) {
        calls.push_back("two");
        signal.connect([&](int) { calls.push_back("late"); });
    });
    signal.connect([&](int) { calls.push_back("three"); });
    signal.emit(0);
    EXPECT_EQ(calls, (std::vector<std::string>{"one", "still here", "two"}));
    calls.clear();
    signal.emit(0);
    EXPECT_EQ(calls, (std::vector<std::string>{"two", "late"}));
}

TEST(SignalTest, DisconnectAllFromInsideEmission)
{
    CSignal<void> signal;
    int later = 0;
    signal.connect([&]() { signal.disconnectAll(); });
    signal.connect([&]() { ++later; });
    signal.emit();
    EXPECT_EQ(later, 0);
    EXPECT_EQ(signal.getCount(), 0u);
}

TEST(SignalTest, ExceptionFromAFunctorReachesTheEmitter)
{
    CSignal<void, int> signal;
    int after = 0;
    signal.connect([](int) { throw std::runtime_error("stop"); });
    signal.connect([&](int) { ++after; });
    EXPECT_THROW(signal.emit(1), std::runtime_error);
    EXPECT_EQ(after, 0);
}
