// Every subcommand's --help ends with an example of itself, and --version names
// the tool's and the client library's versions.
#include "tests/cli/RunToEnd.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <optional>
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
    // A copy of the tool in a directory of its own, with a PATH that finds no
    // helper: whether a helper lies beside it is up to each case.
    test::TempRuntimeDir dir;
    const std::filesystem::path tool = dir.file("marquee");
    std::filesystem::copy_file(MQ_MARQUEE_PATH, tool);
    const std::filesystem::path emptyPath = dir.file("no-programs");
    std::filesystem::create_directory(emptyPath);
    const test::ChildProcess::Environment environment { { "PATH", emptyPath.string() } };

    struct Case {
        const char* name;
        std::optional<std::string> helperScript; // the helper beside the tool, if any
        std::string secondLine;
    };
    const Case cases[] = {
        { "no helper anywhere", std::nullopt, "marquee-helper: not found" },
        { "a helper beside the tool", "#!/bin/sh\necho 'marquee-helper 9.8.7'\n", "marquee-helper 9.8.7" },
        { "a helper that fails", "#!/bin/sh\nexit 3\n", "marquee-helper: not found" },
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir.file("marquee-helper"));
        if (c.helperScript) {
            std::ofstream(dir.file("marquee-helper")) << *c.helperScript;
            std::filesystem::permissions(dir.file("marquee-helper"), std::filesystem::perms::owner_all);
        }
        Output version = test::runToEnd({ tool.string(), "--version" }, environment);
        EXPECT_EQ(version.status, 0) << c.name;
        ASSERT_EQ(version.lines.size(), 2u) << c.name;
        EXPECT_EQ(version.lines[0], "marquee " MQ_VERSION " (marquee-client " MQ_VERSION ")") << c.name;
        EXPECT_EQ(version.lines[1], c.secondLine) << c.name;
    }
}

} // namespace
} // namespace mq
