// A URL value, as far as the helper needs one: file URLs for projects, movies and
// audio files, and https URLs for the update check.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mq {

class URL {
public:
    /// An empty URL (no scheme); only as a placeholder before assignment.
    URL() = default;
    /// Parses an absolute URL ("scheme:rest"). Relative references, empty text,
    /// a scheme with characters outside [A-Za-z0-9+.-] or control characters give nothing.
    [[nodiscard]] static std::optional<URL> parse(std::string_view text);
    /// The file URL of an absolute path; the path is percent-encoded where needed.
    /// A relative path is taken as it is under "/" (callers pass absolute paths).
    static URL fileURLWithPath(std::string_view path);

    const std::string& absoluteString() const { return m_text; }
    /// Lower-cased scheme ("file", "https", ...).
    const std::string& scheme() const { return m_scheme; }
    bool isFileURL() const { return m_scheme == "file"; }
    /// The percent-decoded path component ("" when the URL has none).
    std::string path() const;
    /// path() with "." and ".." segments resolved and repeated slashes folded.
    std::string standardizedPath() const;

    friend bool operator==(const URL&, const URL&) = default;

private:
    URL(std::string text, std::string scheme);
    std::string m_text;
    std::string m_scheme;
};

/// "/a/./b/../c//d" becomes "/a/c/d"; a trailing slash is dropped (except for "/").
std::string standardizePath(std::string_view path);

} // namespace mq
