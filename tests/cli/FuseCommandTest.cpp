// "kestrava-cli fuse": the status report and its command line. Install and remove are covered
// over a fake package manager in the core tests; they never run here.
#include "CliTestSupport.h"
#include "core/host/FuseAvailability.h"
#include "core/host/Process.h"

#include <gtest/gtest.h>

namespace kestrava::cli {
namespace {

using test::runCliInProcess;

TEST(FuseCommandTest, StatusReportsWhatServingNeeds)
{
    const test::CliResult result = runCliInProcess({"fuse", "status"});
    const bool usable = host::isFuseUsable();
    EXPECT_EQ(result.exitCode, usable ? 0 : 1) << result.err;
    EXPECT_NE(result.out.find(usable ? "FUSE: usable\n" : "FUSE: not usable\n"), std::string::npos)
        << result.out;
    const auto fusermount = host::findOnPath("fusermount3");
    EXPECT_NE(result.out.find("fusermount3: " + (fusermount ? fusermount->string() : "not found on PATH")),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("package manager: "), std::string::npos) << result.out;
}

TEST(FuseCommandTest, ActionIsRequiredAndChecked)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"fuse"}, std::vector<std::string>{"fuse", "purge"},
          std::vector<std::string>{"fuse", "install", "now"}}) {
        const test::CliResult result = runCliInProcess(args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_TRUE(result.out.empty()) << args.back();
        EXPECT_NE(result.err.find("fuse: "), std::string::npos) << result.err;
    }
}

} // namespace
} // namespace kestrava::cli
