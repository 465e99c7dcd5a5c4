// `marquee --generate bash|zsh|fish` writes completions from the same
// definitions that parse the command line: each script names every command,
// reads as valid syntax in its shell, and (bash, fish) completes a partly typed
// command to the right words. A shell that is not installed is checked by
// structure only.
#include "tests/cli/RunToEnd.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;

using test::Finished;

Finished run(std::vector<std::string> argv) { return test::runToEnd(std::move(argv)); }

/// The shell's path when it is installed.
std::optional<std::string> installed(const std::string& shell)
{
    std::stringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string directory; std::getline(path, directory, ':');)
        if (std::string candidate = directory + "/" + shell; ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return std::nullopt;
}

/// The command names `marquee --help` lists.
std::vector<std::string> commandNames()
{
    std::vector<std::string> names;
    bool listing = false;
    for (const std::string& line : run({ MQ_MARQUEE_PATH, "--help" }).lines) {
        listing = listing || line == "Subcommands:";
        if (listing && line.starts_with("  ") && line.size() > 2 && line[2] != ' ')
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
}

struct Shell {
    const char* name;
    /// How the shell checks a script's syntax without running it (the script's path is appended).
    std::vector<std::string> syntaxCheck;
    /// A shell command that prints the completions of "marquee call run-" (the script is at $1, in fish $argv[2]), or "".
    const char* completeCallRun;
    /// And of "marquee goto --f".
    const char* completeGotoOption;

    friend void PrintTo(const Shell& shell, std::ostream* out) { *out << shell.name; }
};

class Completions : public ::testing::TestWithParam<Shell> { };

TEST_P(Completions, NameEveryCommandAndReadAsTheShellsSyntax)
{
    const Shell& shell = GetParam();
    Finished generated = run({ MQ_MARQUEE_PATH, "--generate", shell.name });
    ASSERT_EQ(generated.status, 0);
    std::string script;
    for (const std::string& line : generated.lines)
        script += line + "\n";
    std::vector<std::string> names = commandNames();
    ASSERT_GE(names.size(), 20u);
    for (const std::string& name : names)
        EXPECT_TRUE(std::regex_search(script, std::regex("(^|[\\s'\"])" + name + "([\\s'\":]|$)")))
            << name << " missing from the " << shell.name << " completions";
    EXPECT_NE(script.find("run-action-with-code"), std::string::npos);
    EXPECT_NE(script.find("fps"), std::string::npos);

    std::optional<std::string> program = installed(shell.name);
    if (!program)
        GTEST_SKIP() << shell.name << " is not installed: structure checked only";
    test::TempRuntimeDir dir;
    std::string file = dir.file(std::string("marquee.") + shell.name);
    std::ofstream(file) << script;
    std::vector<std::string> check { *program };
    check.insert(check.end(), shell.syntaxCheck.begin(), shell.syntaxCheck.end());
    check.push_back(file);
    EXPECT_EQ(run(check).status, 0) << shell.name << " rejects the script's syntax";

    auto completions = [&](const char* command) {
        std::vector<std::string> words;
        for (const std::string& line : run({ *program, "-c", command, "completion", file }).lines)
            words.push_back(line.substr(0, line.find('\t')));
        return words;
    };
    if (*shell.completeCallRun) {
        EXPECT_EQ(completions(shell.completeCallRun), std::vector<std::string> { "run-action-with-code" });
        std::vector<std::string> options = completions(shell.completeGotoOption);
        EXPECT_NE(std::find(options.begin(), options.end(), "--fps"), options.end());
        EXPECT_EQ(std::find(options.begin(), options.end(), "--code"), options.end()) << "an option of another command";
    }
}

INSTANTIATE_TEST_SUITE_P(Shells, Completions,
    ::testing::Values(Shell { "bash", { "-n" },
                          "source \"$1\"; COMP_WORDS=(marquee call run-); COMP_CWORD=2; _marquee; printf '%s\\n' \"${COMPREPLY[@]}\"",
                          "source \"$1\"; COMP_WORDS=(marquee goto --f); COMP_CWORD=2; _marquee; printf '%s\\n' \"${COMPREPLY[@]}\"" },
        Shell { "zsh", { "-n" }, "", "" },
        Shell { "fish", { "--no-execute" }, "source $argv[2]; complete -C 'marquee call run-'", "source $argv[2]; complete -C 'marquee goto --f'" }),
    [](const ::testing::TestParamInfo<Shell>& row) { return std::string(row.param.name); });

} // namespace
} // namespace mq
