#include "sim/systemevents/SystemEventsScript.h"

#include <charconv>
#include <optional>

namespace mq::sim::systemevents {

namespace {

/// One line of the source with its position, cut of surrounding blanks.
struct Line {
    std::string_view text;
    std::size_t offset;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<Line> splitLines(std::string_view source)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start <= source.size()) {
        std::size_t end = source.find_first_of("\r\n", start);
        std::size_t stop = end == std::string_view::npos ? source.size() : end;
        std::size_t first = start;
        while (first < stop && isBlank(source[first]))
            ++first;
        std::size_t last = stop;
        while (last > first && isBlank(source[last - 1]))
            --last;
        if (last > first)
            lines.push_back({ source.substr(first, last - first), first });
        if (end == std::string_view::npos)
            break;
        start = end + (source.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

/// Reads the parts of one line left to right.
class Cursor {
public:
    explicit Cursor(Line line)
        : m_line(line)
    {
    }

    bool atEnd() const { return m_at == m_line.text.size(); }
    std::size_t offset() const { return m_line.offset + m_at; }

    /// Consumes `word` when it comes next and ends at a blank, a brace or the line's end.
    bool word(std::string_view expected)
    {
        if (m_line.text.substr(m_at, expected.size()) != expected)
            return false;
        std::size_t after = m_at + expected.size();
        if (after < m_line.text.size() && !isBlank(m_line.text[after]) && m_line.text[after] != '}' && m_line.text[after] != ',')
            return false;
        m_at = after;
        skipBlanks();
        return true;
    }
    bool symbol(char c)
    {
        if (m_at >= m_line.text.size() || m_line.text[m_at] != c)
            return false;
        ++m_at;
        skipBlanks();
        return true;
    }

    /// A string literal: "..." with the escapes \" \\ \n \r \t.
    std::optional<std::string> string(std::string& error)
    {
        if (m_at >= m_line.text.size() || m_line.text[m_at] != '"') {
            error = "Expected string but found " + describeNext() + ".";
            return std::nullopt;
        }
        std::string out;
        for (std::size_t i = m_at + 1; i < m_line.text.size(); ++i) {
            char c = m_line.text[i];
            if (c == '"') {
                m_at = i + 1;
                skipBlanks();
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i == m_line.text.size())
                break;
            switch (m_line.text[i]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            default:
                m_at = i - 1;
                error = "Expected \"\"\" but found unknown token.";
                return std::nullopt;
            }
        }
        error = "Expected \"\"\" but found end of line.";
        return std::nullopt;
    }

    /// An unsigned decimal number with an optional fraction.
    std::optional<double> number()
    {
        std::size_t end = m_at;
        while (end < m_line.text.size() && ((m_line.text[end] >= '0' && m_line.text[end] <= '9') || m_line.text[end] == '.'))
            ++end;
        if (end == m_at || m_line.text[m_at] == '.' || m_line.text[end - 1] == '.')
            return std::nullopt;
        double value = 0;
        auto [ptr, ec] = std::from_chars(m_line.text.data() + m_at, m_line.text.data() + end, value);
        if (ec != std::errc() || ptr != m_line.text.data() + end)
            return std::nullopt;
        m_at = end;
        skipBlanks();
        return value;
    }

    std::string describeNext() const
    {
        if (atEnd())
            return "end of line";
        std::size_t end = m_at;
        while (end < m_line.text.size() && !isBlank(m_line.text[end]))
            ++end;
        return "\"" + std::string(m_line.text.substr(m_at, end - m_at)) + "\"";
    }
    std::size_t restLength() const { return m_line.text.size() - m_at; }

private:
    void skipBlanks()
    {
        while (m_at < m_line.text.size() && isBlank(m_line.text[m_at]))
            ++m_at;
    }

    Line m_line;
    std::size_t m_at { 0 };
};

Unexpected<CompileError> errorAt(const Cursor& cursor, std::string message)
{
    return unexpected(CompileError { std::move(message), cursor.offset(), std::max<std::size_t>(cursor.restLength(), 1) });
}

/// The statement on `line`, or the reason it is not one.
Expected<Step, CompileError> statement(const Line& line)
{
    Cursor cursor(line);
    Step step;
    std::string error;
    if (cursor.word("key")) {
        if (!cursor.word("code"))
            return errorAt(cursor, "Expected \"code\" but found " + cursor.describeNext() + ".");
        std::size_t at = cursor.offset();
        std::optional<double> code = cursor.number();
        if (!code || *code != static_cast<double>(static_cast<std::uint16_t>(*code)) || *code > 127)
            return unexpected(CompileError { "Expected a key code (0 to 127).", at, 1 });
        step.kind = Step::Kind::keyCode;
        step.keyCode = static_cast<std::uint16_t>(*code);
    } else if (cursor.word("keystroke")) {
        if (cursor.word("tab")) {
            step.kind = Step::Kind::tab;
        } else if (cursor.word("return")) {
            step.kind = Step::Kind::returnKey;
        } else {
            std::optional<std::string> text = cursor.string(error);
            if (!text)
                return errorAt(cursor, error);
            step.kind = Step::Kind::text;
            step.text = std::move(*text);
            if (cursor.word("using")) {
                if (!cursor.symbol('{'))
                    return errorAt(cursor, "Expected \"{\" but found " + cursor.describeNext() + ".");
                do {
                    std::size_t flagAt = cursor.offset();
                    unsigned flag = cursor.word("command") ? modifier::command : cursor.word("shift") ? modifier::shift : 0;
                    if (flag == 0)
                        return errorAt(cursor, "Expected \"command down\" or \"shift down\" but found " + cursor.describeNext() + ".");
                    if (!cursor.word("down"))
                        return errorAt(cursor, "Expected \"down\" but found " + cursor.describeNext() + ".");
                    if (step.modifiers & flag)
                        return unexpected(CompileError { "A modifier is given twice.", flagAt, 1 });
                    step.modifiers |= flag;
                } while (cursor.symbol(','));
                if (!cursor.symbol('}'))
                    return errorAt(cursor, "Expected \"}\" but found " + cursor.describeNext() + ".");
            }
        }
    } else if (cursor.word("delay")) {
        std::size_t at = cursor.offset();
        std::optional<double> seconds = cursor.number();
        if (!seconds)
            return unexpected(CompileError { "Expected a number of seconds.", at, 1 });
        step.kind = Step::Kind::delay;
        step.seconds = *seconds;
    } else {
        return errorAt(cursor, "Expected a keystroke, key code, delay or end tell but found " + cursor.describeNext() + ".");
    }
    if (!cursor.atEnd())
        return errorAt(cursor, "Expected end of line but found " + cursor.describeNext() + ".");
    return step;
}

/// `tell application "System Events"` / `tell process "NAME"`: the quoted name.
Expected<std::string, CompileError> tellLine(const Line& line, std::string_view kind)
{
    Cursor cursor(line);
    std::string error;
    if (!cursor.word("tell"))
        return errorAt(cursor, "Expected \"tell\" but found " + cursor.describeNext() + ".");
    if (!cursor.word(kind))
        return errorAt(cursor, "Expected \"" + std::string(kind) + "\" but found " + cursor.describeNext() + ".");
    std::optional<std::string> name = cursor.string(error);
    if (!name)
        return errorAt(cursor, error);
    if (!cursor.atEnd())
        return errorAt(cursor, "Expected end of line but found " + cursor.describeNext() + ".");
    return *name;
}

bool isEndTell(const Line& line)
{
    Cursor cursor(line);
    return cursor.word("end") && cursor.word("tell") && cursor.atEnd();
}

} // namespace

Expected<Script, CompileError> compile(std::string_view source)
{
    std::vector<Line> lines = splitLines(source);
    if (lines.empty())
        return unexpected(CompileError { "Expected \"tell\" but found end of script.", source.size(), 0 });
    std::string application = MQ_TRY(tellLine(lines[0], "application"));
    if (application != "System Events")
        return unexpected(CompileError { "This script only talks to \"System Events\".", lines[0].offset, lines[0].text.size() });
    if (lines.size() < 2)
        return unexpected(CompileError { "Expected \"end tell\" but found end of script.", source.size(), 0 });
    Script script;
    script.processName = MQ_TRY(tellLine(lines[1], "process"));
    std::size_t i = 2;
    for (; i < lines.size() && !isEndTell(lines[i]); ++i) {
        script.steps.push_back(MQ_TRY(statement(lines[i])));
    }
    if (i + 1 >= lines.size() || !isEndTell(lines[i + 1]))
        return unexpected(CompileError { "Expected \"end tell\" but found end of script.", source.size(), 0 });
    if (i + 2 < lines.size())
        return unexpected(CompileError { "Expected end of script but found more.", lines[i + 2].offset, lines[i + 2].text.size() });
    return script;
}

} // namespace mq::sim::systemevents
