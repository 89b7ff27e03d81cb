#pragma once
// Data types known to both the test host and the test-only plug-in library.

#include <string>

namespace crosslib {

constexpr int COUNTER_ENTRY = 42;
constexpr int TEXT_ENTRY = 43;

struct CCounterData
{
    int value = 0;
};

struct CTextData
{
    std::string text;
};

} // namespace crosslib
