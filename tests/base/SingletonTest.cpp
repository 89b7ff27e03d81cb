#include "toolkit/base/CSingleton.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace kvo::base;

namespace {

struct CLongLived : CSingleton<2048>
{
    ~CLongLived() { std::fputs("destroyed 2048;", stderr); }
};
struct CShortLived : CSingleton<1024>
{
    ~CShortLived() { std::fputs("destroyed 1024;", stderr); }
};
struct CAlsoShortLived : CSingleton<1024>
{
    ~CAlsoShortLived() { std::fputs("destroyed second 1024;", stderr); }
};

} // namespace

TEST(SingletonTest, SameInstanceOnEveryUse)
{
    EXPECT_EQ(&CSingletonHolder<CLongLived>::getInstance(), &CSingletonHolder<CLongLived>::getInstance());
}

TEST(SingletonDeathTest, DestroyedInAscendingLifetimeThenCreationOrder)
{
    // The exit handlers run at exit of a child process; creation order is the reverse of
    // the destruction order wanted.
    EXPECT_EXIT(
        {
            CSingletonHolder<CLongLived>::getInstance();
            CSingletonHolder<CShortLived>::getInstance();
            CSingletonHolder<CAlsoShortLived>::getInstance();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "destroyed 1024;destroyed second 1024;destroyed 2048;");
}
