#include "maintenance/VersionDocument.h"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>
#include <string_view>

namespace mq::maintenance {

namespace {

// Reads the version document as events, without exceptions and without building
// the document: the three keys of the top-level object are kept (the last of a
// repeated key wins, as a decoder into a dictionary would), everything else is
// passed over. A number that does not fit a double (1e999, a 5000-digit integer)
// is a parse error here, reported like any other.
class VersionDocumentReader final : public nlohmann::json_sax<nlohmann::json> {
public:
    struct Field {
        const char* key;
        std::optional<std::string> text;
        /// The type found when it is not a string.
        const char* otherType { nullptr };
        bool present { false };
    };
    std::array<Field, 3> fields { Field { "version", std::nullopt, nullptr, false }, Field { "releaseNotes", std::nullopt, nullptr, false },
        Field { "path", std::nullopt, nullptr, false } };
    std::optional<std::string> error;
    /// The top level is an object.
    bool topLevelObject { false };
    bool topLevelSeen { false };

    bool null() override { return scalar("null"); }
    bool boolean(bool) override { return scalar("boolean"); }
    bool number_integer(number_integer_t) override { return scalar("number"); }
    bool number_unsigned(number_unsigned_t) override { return scalar("number"); }
    bool number_float(number_float_t, const string_t&) override { return scalar("number"); }
    bool string(string_t& value) override
    {
        if (Field* field = currentField()) {
            field->text = std::move(value);
            field->otherType = nullptr;
        }
        return scalar(nullptr);
    }
    bool binary(binary_t&) override { return scalar("binary"); }
    bool start_object(std::size_t) override { return open("object"); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open("array"); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override
    {
        if (m_depth == 1)
            m_key = std::move(name);
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& failure) override
    {
        error = failure.what();
        return false;
    }

private:
    Field* currentField()
    {
        if (m_depth != 1 || !topLevelObject)
            return nullptr;
        for (Field& field : fields)
            if (m_key == field.key) {
                field.present = true;
                return &field;
            }
        return nullptr;
    }
    bool scalar(const char* type)
    {
        noteTopLevel(false);
        if (type)
            if (Field* field = currentField()) {
                field->text.reset();
                field->otherType = type;
            }
        return true;
    }
    bool open(const char* type)
    {
        noteTopLevel(std::string_view(type) == "object");
        if (Field* field = currentField()) {
            field->text.reset();
            field->otherType = type;
        }
        ++m_depth;
        return true;
    }
    bool close()
    {
        --m_depth;
        return true;
    }
    void noteTopLevel(bool isObject)
    {
        if (!topLevelSeen) {
            topLevelSeen = true;
            topLevelObject = isObject;
        }
    }

    std::size_t m_depth { 0 };
    std::string m_key;
};

} // namespace

Expected<VersionCheckPayload, std::string> decodeVersionCheckPayload(const std::vector<std::uint8_t>& body)
{
    VersionDocumentReader reader;
    bool parsed = nlohmann::json::sax_parse(body.begin(), body.end(), &reader, nlohmann::json::input_format_t::json,
        /*strict=*/true, /*ignore_comments=*/false);
    if (!parsed || reader.error)
        return unexpected(std::string("the data is not valid JSON: ") + reader.error.value_or("unexpected end of input"));
    if (!reader.topLevelObject)
        return unexpected(std::string("expected a JSON object at the top level"));
    VersionCheckPayload payload;
    std::string* targets[] = { &payload.version, &payload.releaseNotes, &payload.path };
    for (std::size_t i = 0; i < reader.fields.size(); ++i) {
        auto& field = reader.fields[i];
        if (!field.present)
            return unexpected(std::string("no value associated with key \"") + field.key + "\"");
        if (!field.text)
            return unexpected(std::string("expected a string for key \"") + field.key + "\" but found " + field.otherType);
        *targets[i] = std::move(*field.text);
    }
    return payload;
}

} // namespace mq::maintenance
