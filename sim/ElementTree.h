// The accessibility tree of every simulated application: elements by token and
// by scenario key, built from scenario definitions, edited and reported.
// Tokens are never reused, so a destroyed element's handle stays invalid.
#pragma once

#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <map>
#include <unordered_map>

namespace mq::sim {

using nlohmann::json;

/// A cross-reference met while building (an attribute naming another element by
/// key, or a field to focus); resolved once the whole definition exists.
struct PendingReference {
    Token element { 0 };
    std::string attribute; // empty for a focus request
    std::string targetKey;
};

class ElementTree {
public:
    Element* find(Token token);
    const Element* find(Token token) const;
    /// The element; the token must exist.
    Element& at(Token token) { return m_elements.at(token); }
    const Element& at(Token token) const { return m_elements.at(token); }
    Element* byKey(const std::string& key);
    const Element* byKey(const std::string& key) const;

    /// Builds `definition` (a scenario element) and its subtree under `parent`,
    /// resolving the references inside it. Throws std::runtime_error with a
    /// reason when the definition is malformed.
    Token build(const json& definition, pid_type pid, Token parent);
    /// A bare element of `role` with no attributes but the role's defaults.
    Token addBare(const std::string& role, const std::string& key, pid_type pid, Token parent);
    /// Destroys `token` and everything under it (it stays listed by its parent).
    void removeSubtree(Token token);
    /// Destroys the children of `token` and empties its child list.
    void removeChildren(Token token);

    /// The window, or the dialog shown as a sheet, that holds `element` (itself
    /// for one); 0 when none.
    Token windowOf(const Element& element) const;
    /// The focusable fields inside `window`, in tree order.
    std::vector<Token> focusableFields(const Element& window) const;
    /// A scenario definition of `element` and its subtree, to build it again.
    json definitionOf(const Element& element) const;
    /// The element as the state report shows it, children to `depth` levels.
    json describe(const Element& element, int depth) const;

    /// The handle a client gets for `token` (token 0 for an application element).
    platform::AXElementRef ref(Token token) const;
    CFValue refs(const std::vector<Token>& tokens) const;

    /// Starts numbering after `token` (identities never repeat across loads).
    void continueAfter(Token token) { m_nextToken = std::max(m_nextToken, token); }
    Token nextToken() const { return m_nextToken; }
    std::size_t size() const { return m_elements.size(); }

private:
    Token add(const json& definition, pid_type pid, Token parent, std::vector<PendingReference>& references);
    void resolve(std::vector<PendingReference>& references);

    std::unordered_map<Token, Element> m_elements;
    std::map<std::string, Token> m_keys;
    Token m_nextToken { 1 };
};

} // namespace mq::sim
