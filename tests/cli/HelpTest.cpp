// Every subcommand's --help ends with an example of itself, and --version names
// the tool's and the client library's versions.
#include "tests/cli/RunToEnd.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <sstream>
#include <string>
#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;

using Output = test::Finished;

Output runMarquee(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), MQ_MARQUEE_PATH);
    return test::runToEnd(std::move(arguments));
}

/// The subcommand names `marquee --help` lists.
std::vector<std::string> subcommands()
{
    Output help = runMarquee({ "--help" });
    std::vector<std::string> names;
    bool listing = false;
    for (const std::string& line : help.lines) {
        if (line == "Subcommands:") {
            listing = true;
            continue;
        }
        if (listing && line.starts_with("  ") && line.size() > 2 && line[2] != ' ')
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
}

TEST(MarqueeHelp, EverySubcommandShowsAnExampleOfItself)
{
    std::vector<std::string> names = subcommands();
    ASSERT_GE(names.size(), 20u);
    for (const std::string& name : names) {
        Output help = runMarquee({ name, "--help" });
        EXPECT_EQ(help.status, 0) << name;
        bool example = false;
        for (std::size_t i = 0; i + 1 < help.lines.size(); ++i)
            example = example || (help.lines[i] == "Example:" && help.lines[i + 1].starts_with("  marquee " + name + " ") );
        example = example || (!help.lines.empty() && help.lines.back() == "  marquee " + name);
        EXPECT_TRUE(example) << name << " --help has no example of itself";
    }
}

TEST(MarqueeVersion, NamesTheToolTheLibraryAndTheHelper)
{
    Output version = runMarquee({ "--version" });
    EXPECT_EQ(version.status, 0);
    ASSERT_EQ(version.lines.size(), 2u);
    EXPECT_EQ(version.lines[0], "marquee " MQ_VERSION " (marquee-client " MQ_VERSION ")");
    // In the build tree no helper lies beside the tool; installed, one does
    // (tests/install checks that line).
    EXPECT_TRUE(version.lines[1] == "marquee-helper " MQ_VERSION || version.lines[1] == "marquee-helper: not found") << version.lines[1];
}

} // namespace
} // namespace mq
