#include "client/cli/UsageErrors.h"

#include "client/cli/Output.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <numeric>
#include <optional>

namespace mq::cli {

namespace {

std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string> subcommandNames(const CLI::App& command)
{
    std::vector<std::string> names;
    for (const CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(sub->get_name());
    return names;
}

std::vector<std::string> longOptionNames(const CLI::App& command)
{
    std::vector<std::string> names;
    for (const CLI::App* level = &command; level; level = level->get_parent())
        for (const CLI::Option* option : level->get_options())
            for (const std::string& name : option->get_lnames())
                names.push_back("--" + name);
    return names;
}

CLI::App* subcommandNamed(CLI::App& command, const std::string& name)
{
    for (CLI::App* sub : command.get_subcommands({}))
        if (sub->get_name() == name)
            return sub;
    return nullptr;
}

struct Unknown {
    std::string word;
    std::string nearest;
    std::string commandPath;
    bool isCommand { false };
};

/// Follows the command line down the subcommands to its first unknown word.
std::optional<Unknown> firstUnknownWord(CLI::App& app, const std::vector<std::string>& arguments)
{
    CLI::App* current = &app;
    std::string path = "marquee";
    for (const std::string& word : arguments) {
        if (word == "--")
            break;
        if (word.starts_with("--")) {
            std::string name = word.substr(0, word.find('='));
            auto known = longOptionNames(*current);
            if (std::find(known.begin(), known.end(), name) == known.end())
                return Unknown { name, nearestName(name, known), path, false };
            continue;
        }
        if (word.starts_with("-"))
            continue;
        if (CLI::App* sub = subcommandNamed(*current, word)) {
            current = sub;
            path += " " + word;
            continue;
        }
        // A word where a command is needed: the command has subcommands and takes no values.
        const CLI::App& level = *current;
        if (!level.get_subcommands([](const CLI::App*) { return true; }).empty()
            && level.get_options([](const CLI::Option* o) { return o->get_positional(); }).empty())
            return Unknown { word, nearestName(word, subcommandNames(*current)), path, true };
    }
    return std::nullopt;
}

} // namespace

std::string nearestName(const std::string& word, const std::vector<std::string>& names)
{
    std::string nearest;
    std::size_t best = std::string::npos;
    for (const std::string& name : names) {
        // A prefix of a name is as near as it gets ("play" for "playhead").
        std::size_t distance = name.starts_with(word) && !word.empty() ? 1 : editDistance(word, name);
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

int reportUsageError(CLI::App& app, const CLI::ParseError& error, const std::vector<std::string>& arguments)
{
    std::cerr << "marquee: " << error.what() << "\n";
    if (auto unknown = firstUnknownWord(app, arguments)) {
        if (unknown->isCommand)
            std::cerr << "'" << unknown->word << "' is not a command of " << unknown->commandPath << ".";
        else
            std::cerr << "'" << unknown->word << "' is not an option of " << unknown->commandPath << ".";
        if (!unknown->nearest.empty())
            std::cerr << " Did you mean '" << unknown->nearest << "'?";
        std::cerr << "\n";
    }
    std::cerr << "Run with --help for more information.\n";
    return kExitUsage;
}

} // namespace mq::cli
