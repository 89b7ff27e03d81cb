#include "toolkit/base/CException.h"
#include "toolkit/base/CLog.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace kvo::base;

namespace {

struct CCollectingOutput : CLogOutput
{
    void write(const char* text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

} // namespace

TEST(ExceptionTest, TextsAndPrintFormats)
{
    EXPECT_STREQ(CException().what(), "Unknown exception");
    EXPECT_STREQ(Factory::CCannotCreate().what(), "Failed to create a new object");

    CFullException full("disk full", "CFileChannel", 12);
    EXPECT_STREQ(full.what(), "disk full");
    std::ostringstream fullText;
    full.print(fullText);
    EXPECT_EQ(fullText.str(), "<CFileChannel><12> Exception: disk full\n");

    CWarning warning("Too many items", "CEntryFlags", 45);
    std::ostringstream warningText;
    warning.print(warningText);
    EXPECT_EQ(warningText.str(), "<CEntryFlags><45> Warning: Too many items\n");

    // Caught through the base class, print still dispatches to the warning's format.
    try
    {
        throw warning;
    }
    catch (const CFullException& caught)
    {
        std::ostringstream viaBase;
        caught.print(viaBase);
        EXPECT_EQ(viaBase.str(), warningText.str());
    }
}

TEST(LogTest, EndOfLinePassesTheTextOnToEveryOutput)
{
    CLog log(true);
    CRefPtr<CCollectingOutput> first(new CCollectingOutput);
    CRefPtr<CCollectingOutput> second(new CCollectingOutput);
    log.addOutput(first.get());
    log.addOutput(second.get());
    log.addOutput(first.get()); // twice changes nothing
    log.getStream() << "<note> " << "value " << 42 << std::endl;
    ASSERT_EQ(first->texts.size(), 1u);
    EXPECT_EQ(first->texts[0], "<note> value 42\n");
    EXPECT_EQ(second->texts, first->texts);

    log.removeOutput(second.get());
    log.getStream() << "again" << std::endl;
    EXPECT_EQ(first->texts.size(), 2u);
    EXPECT_EQ(second->texts.size(), 1u);
    EXPECT_EQ(second->getReferencesCount(), 1); // the log gave its reference back
}

TEST(LogTest, FullPutAreaPassesOnTheFirst511CharactersAndKeepsTheRest)
{
    CLog log(true);
    CRefPtr<CCollectingOutput> output(new CCollectingOutput);
    log.addOutput(output.get());
    const std::string text(600, 'x');
    log.getStream() << text;
    ASSERT_EQ(output->texts.size(), 1u);
    EXPECT_EQ(output->texts[0].size(), 511u);
    log.getStream() << std::endl;
    ASSERT_EQ(output->texts.size(), 2u);
    EXPECT_EQ(output->texts[1], std::string(89, 'x') + "\n");
}

TEST(LogTest, DisabledLogPassesNothingOn)
{
    CLog log(false);
    CRefPtr<CCollectingOutput> output(new CCollectingOutput);
    log.addOutput(output.get());
    log.getStream() << std::string(2000, 'y') << std::endl;
    EXPECT_TRUE(output->texts.empty());
    log.setEnabled(true);
    log.getStream() << "on" << std::endl;
    ASSERT_EQ(output->texts.size(), 1u);
    EXPECT_EQ(output->texts[0], "on\n"); // nothing of the disabled period leaks through
}

TEST(LogTest, WarningsGoToTheGlobalLog)
{
    CRefPtr<CCollectingOutput> output(new CCollectingOutput);
    getGlobalLog().addOutput(output.get());
    reportWarning(CWarning("careful", "CPlace", 7));
    getGlobalLog().removeOutput(output.get());
    ASSERT_EQ(output->texts.size(), 1u);
    EXPECT_EQ(output->texts[0], "<CPlace><7> Warning: careful\n");
}
