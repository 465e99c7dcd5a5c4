// What the tool says when the command line does not parse: CLI11's message, the
// nearest command or option to the word it did not know, and the exit status 2.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
class ParseError;
}

namespace mq::cli {

/// The known name nearest to `word` by edit distance (ties: the first in
/// `names`), or an empty text when `names` is empty.
std::string nearestName(const std::string& word, const std::vector<std::string>& names);

/// Prints `error` for the command line `arguments` (without the program name)
/// with a "Did you mean" for its first unknown word, and returns kExitUsage.
int reportUsageError(CLI::App& app, const CLI::ParseError& error, const std::vector<std::string>& arguments);

} // namespace mq::cli
