// The raw strings of one accessibility name enumeration, built once from the
// case names by the platform's rule ("AX" and the case name with its first letter
// in upper case) and a short list of exceptions.
#pragma once

#include <array>
#include <cctype>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace mq::ax::detail {

template<typename Enum, std::size_t Count>
class NameTable {
public:
    /// `identifiers` are the C++ enumerator names in case order; a trailing "_"
    /// (a keyword escape, as in `delete_`) is not part of the case name.
    NameTable(const std::array<std::string_view, Count>& identifiers, std::initializer_list<std::pair<Enum, std::string_view>> exceptions)
    {
        for (std::size_t i = 0; i < Count; ++i) {
            std::string_view name = identifiers[i];
            if (!name.empty() && name.back() == '_')
                name.remove_suffix(1);
            m_caseNames[i] = name;
            std::string raw = "AX";
            raw += name;
            raw[2] = static_cast<char>(std::toupper(static_cast<unsigned char>(raw[2])));
            m_rawValues[i] = std::move(raw);
        }
        for (const auto& [value, raw] : exceptions)
            m_rawValues[static_cast<std::size_t>(value)] = std::string(raw);
        for (std::size_t i = 0; i < Count; ++i)
            m_byRawValue.emplace(m_rawValues[i], static_cast<Enum>(i));
    }

    std::string_view rawValue(Enum value) const { return m_rawValues[static_cast<std::size_t>(value)]; }
    std::string_view caseName(Enum value) const { return m_caseNames[static_cast<std::size_t>(value)]; }
    std::optional<Enum> fromRawValue(std::string_view raw) const
    {
        auto found = m_byRawValue.find(raw);
        if (found == m_byRawValue.end())
            return std::nullopt;
        return found->second;
    }

private:
    std::array<std::string, Count> m_rawValues;
    std::array<std::string_view, Count> m_caseNames;
    std::unordered_map<std::string_view, Enum> m_byRawValue; // Views into m_rawValues.
};

/// Every case of an enumeration whose cases are 0 ..< Count.
template<typename Enum, std::size_t Count>
std::array<Enum, Count> enumerateCases()
{
    std::array<Enum, Count> cases {};
    for (std::size_t i = 0; i < Count; ++i)
        cases[i] = static_cast<Enum>(i);
    return cases;
}

} // namespace mq::ax::detail
