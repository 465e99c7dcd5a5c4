// The marquee tool's man page and bash, zsh and fish completions, written from the same CLI11
// definitions that parse the command line, so that they never drift apart.
#pragma once

#include <iosfwd>
#include <string_view>

namespace CLI {
class App;
}

namespace mq::cli {

/// Writes the document `kind` ("man": roff for section 1; "bash", "zsh", "fish":
/// a completion script for that shell) of `app`; false for an unknown kind.
bool writeReferenceDocument(const CLI::App& app, std::string_view kind, std::ostream& out);

} // namespace mq::cli
