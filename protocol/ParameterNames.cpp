#include "marquee/MQHelperXPCProtocol.h"

#include <cctype>

namespace mq::protocol {

std::vector<std::string> parameterNames(std::string_view text)
{
    auto open = text.find('(');
    auto close = text.rfind(')');
    std::vector<std::string> names;
    if (open == std::string_view::npos || close == std::string_view::npos || close <= open + 1)
        return names;
    auto inner = text.substr(open + 1, close - open - 1);
    int depth = 0;
    std::size_t start = 0;
    auto takeName = [&](std::string_view piece) {
        std::size_t end = piece.size();
        while (end > 0 && std::isspace(static_cast<unsigned char>(piece[end - 1])))
            --end;
        std::size_t begin = end;
        while (begin > 0 && (std::isalnum(static_cast<unsigned char>(piece[begin - 1])) || piece[begin - 1] == '_'))
            --begin;
        if (begin < end)
            names.emplace_back(piece.substr(begin, end - begin));
    };
    for (std::size_t i = 0; i < inner.size(); ++i) {
        char c = inner[i];
        if (c == '<' || c == '(')
            ++depth;
        else if (c == '>' || c == ')')
            --depth;
        else if (c == ',' && depth == 0) {
            takeName(inner.substr(start, i - start));
            start = i + 1;
        }
    }
    takeName(inner.substr(start));
    return names;
}

} // namespace mq::protocol
