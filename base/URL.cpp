#include "marquee/URL.h"

#include "base/HexDigit.h"

#include <cctype>
#include <vector>

namespace mq {

namespace {

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = platform::hexDigitValue(text[i + 1]);
            int lo = platform::hexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool isUnreservedPathChar(unsigned char c)
{
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == '!' || c == '$'
        || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' || c == ',' || c == ';'
        || c == '=' || c == ':' || c == '@';
}

} // namespace

URL::URL(std::string text, std::string scheme)
    : m_text(std::move(text))
    , m_scheme(std::move(scheme))
{
}

std::optional<URL> URL::parse(std::string_view text)
{
    auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    if (!std::isalpha(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    std::string scheme;
    for (char c : text.substr(0, colon)) {
        auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '+' && c != '-' && c != '.')
            return std::nullopt;
        scheme.push_back(static_cast<char>(std::tolower(u)));
    }
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == ' ')
            return std::nullopt;
    }
    return URL(std::string(text), std::move(scheme));
}

URL URL::fileURLWithPath(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "file://";
    if (path.empty() || path.front() != '/')
        text.push_back('/');
    for (char c : path) {
        auto u = static_cast<unsigned char>(c);
        if (isUnreservedPathChar(u)) {
            text.push_back(c);
        } else {
            text.push_back('%');
            text.push_back(kHex[u >> 4]);
            text.push_back(kHex[u & 15]);
        }
    }
    return URL(std::move(text), "file");
}

std::string URL::path() const
{
    std::string_view rest(m_text);
    rest.remove_prefix(m_scheme.size() + 1);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        auto slash = rest.find('/');
        if (slash == std::string_view::npos)
            return {};
        rest.remove_prefix(slash);
    }
    auto end = rest.find_first_of("?#");
    return percentDecode(rest.substr(0, end));
}

std::string URL::standardizedPath() const
{
    return standardizePath(path());
}

std::string standardizePath(std::string_view path)
{
    bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        auto part = path.substr(start, end - start);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out.push_back('/');
        out.append(parts[i]);
    }
    if (out.empty())
        out = absolute ? "/" : ".";
    return out;
}

} // namespace mq
