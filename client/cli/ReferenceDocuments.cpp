#include "client/cli/ReferenceDocuments.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace mq::cli {

namespace {

std::vector<const CLI::App*> subcommandsOf(const CLI::App& command)
{
    return command.get_subcommands([](const CLI::App*) { return true; });
}

std::vector<const CLI::Option*> optionsOf(const CLI::App& command, bool positional)
{
    const CLI::Option* help = command.get_help_ptr();
    return command.get_options([positional, help](const CLI::Option* option) { return option != help && option->get_positional() == positional; });
}

/// Text safe in roff: backslashes doubled, a leading dot or quote escaped, hyphens as \-.
std::string roff(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out.push_back(c);
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

void writeManCommand(const CLI::App& command, const std::string& path, std::ostream& out)
{
    std::string synopsis = path;
    for (const CLI::Option* positional : optionsOf(command, true))
        synopsis += positional->get_required() ? " " + positional->get_name(true) : " [" + positional->get_name(true) + "]";
    if (!optionsOf(command, false).empty())
        synopsis += " [options]";
    if (!subcommandsOf(command).empty())
        synopsis += " COMMAND";
    out << ".SS \"" << roff(synopsis) << "\"\n" << roff(command.get_description()) << "\n";
    for (const CLI::Option* option : optionsOf(command, true))
        out << ".TP\n.I " << roff(option->get_name(true)) << "\n" << roff(option->get_description()) << "\n";
    for (const CLI::Option* option : optionsOf(command, false)) {
        std::string names = option->get_name(false, true);
        std::string type = option->get_type_name();
        out << ".TP\n.B " << roff(names) << (type.empty() || option->get_expected_max() == 0 ? "" : " \\fI" + roff(type) + "\\fR")
            << (option->get_required() ? " (required)" : "") << "\n"
            << roff(option->get_description()) << "\n";
    }
    std::string footer = command.get_footer();
    if (auto example = footer.find("Example:"); example != std::string::npos) {
        std::string line = footer.substr(example + 8);
        auto first = line.find_first_not_of(" \n");
        line = first == std::string::npos ? "" : line.substr(first);
        out << ".PP\nExample:\n.RS\n.nf\n" << roff(line) << "\n.fi\n.RE\n";
    }
    for (const CLI::App* sub : subcommandsOf(command))
        writeManCommand(*sub, path + " " + sub->get_name(), out);
}

void writeMan(const CLI::App& app, std::ostream& out)
{
    out << ".TH MARQUEE 1 \"\" \"marquee\" \"User Commands\"\n"
        << ".SH NAME\nmarquee \\- drive Logic Pro through the Marquee helper\n"
        << ".SH SYNOPSIS\n.B marquee\nCOMMAND [options]\n.br\n.B marquee\n\\-\\-help | \\-\\-version\n"
        << ".SH DESCRIPTION\nThe command\\-line client of the Marquee helper: it sends the helper's requests and prints "
           "the replies as \\(lqname: value\\(rq lines, or as JSON lines with \\fB\\-\\-json\\fR: "
           "{\"ok\": true, \"command\": ..., \"reply\": {...}} or {\"ok\": false, \"command\": ..., \"error\": "
           "{\"kind\", \"message\"}}. The requests of the helper's protocol are all under \\fBmarquee call\\fR.\n"
        << ".SH COMMANDS\n";
    for (const CLI::App* command : subcommandsOf(app))
        writeManCommand(*command, "marquee " + command->get_name(), out);
    out << ".SH EXIT STATUS\n"
        << ".TP\n0\nsuccess\n.TP\n1\nthe helper answered with a failure\n.TP\n2\nbad usage\n"
        << ".TP\n3\nthe helper is not running\n.TP\n4\nno reply (time\\-out or a broken connection)\n"
        << ".SH ENVIRONMENT\n.TP\n.B XDG_RUNTIME_DIR\nwhere the helper's socket lies (com.quillmoor.marquee.helper)\n"
        << ".SH SEE ALSO\n.BR marquee\\-helper (1),\n.BR logicsim (1)\n";
}

void collectCompletionWords(const CLI::App& command, const std::string& path, std::ostream& out)
{
    std::string words;
    for (const CLI::App* sub : subcommandsOf(command))
        words += sub->get_name() + " ";
    for (const CLI::Option* option : optionsOf(command, false))
        for (const std::string& name : option->get_lnames())
            words += "--" + name + " ";
    if (!words.empty())
        words.pop_back();
    out << "  [\"" << path << "\"]=\"" << words << "\"\n";
    for (const CLI::App* sub : subcommandsOf(command))
        collectCompletionWords(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
}

void writeBash(const CLI::App& app, std::ostream& out)
{
    out << "# bash completion for marquee, written by `marquee --generate bash`\n"
        << "declare -A _marquee_words=(\n";
    collectCompletionWords(app, "", out);
    out << ")\n"
        << "_marquee() {\n"
        << "  local cur=${COMP_WORDS[COMP_CWORD]} path= next i\n"
        << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "    next=${path:+$path }${COMP_WORDS[i]}\n"
        << "    [[ -n ${_marquee_words[$next]+set} ]] && path=$next\n"
        << "  done\n"
        << "  COMPREPLY=($(compgen -W \"${_marquee_words[$path]}\" -- \"$cur\"))\n"
        << "}\n"
        << "complete -o default -F _marquee marquee\n";
}

/// A completion candidate: the word and what it does.
struct Candidate {
    std::string word;
    std::string description;
    bool takesValue { false };
};

/// The words that may follow `command`: its subcommands and its options' long names.
std::vector<Candidate> candidatesOf(const CLI::App& command)
{
    std::vector<Candidate> out;
    for (const CLI::App* sub : subcommandsOf(command))
        out.push_back({ sub->get_name(), sub->get_description(), false });
    for (const CLI::Option* option : optionsOf(command, false))
        for (const std::string& name : option->get_lnames())
            out.push_back({ "--" + name, option->get_description(), option->get_expected_max() != 0 });
    return out;
}

/// Every command path ("", "goto", "call run-action-with-code", ...) with its command.
void collectCommands(const CLI::App& command, const std::string& path, std::vector<std::pair<std::string, const CLI::App*>>& out)
{
    out.emplace_back(path, &command);
    for (const CLI::App* sub : subcommandsOf(command))
        collectCommands(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
}

/// One line of text: line breaks and tabs become spaces.
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\t' || c == '\r')
            c = ' ';
    return text;
}

/// `text` inside single quotes for zsh and bash: ' becomes '\''.
std::string singleQuotedForZsh(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

/// `text` inside single quotes for fish, where \ and ' are escaped with a backslash.
std::string singleQuotedForFish(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'')
            out += '\\';
        out += c;
    }
    return out + "'";
}

void writeZsh(const CLI::App& app, std::ostream& out)
{
    std::vector<std::pair<std::string, const CLI::App*>> commands;
    collectCommands(app, "", commands);
    out << "#compdef marquee\n"
        << "# zsh completion for marquee, written by `marquee --generate zsh`\n"
        << "# For each command path, the words that may follow it, one \"word:description\" a line.\n"
        << "typeset -gA _marquee_words\n"
        << "_marquee_words=(\n";
    for (const auto& [path, command] : commands) {
        std::string lines;
        for (const Candidate& candidate : candidatesOf(*command)) {
            std::string word;
            for (char c : candidate.word)
                word += c == ':' ? std::string("\\:") : std::string(1, c);
            lines += (lines.empty() ? "" : "\n") + word + ":" + oneLine(candidate.description);
        }
        out << "  " << singleQuotedForZsh(path) << " " << singleQuotedForZsh(lines) << "\n";
    }
    out << ")\n"
        << "_marquee() {\n"
        << "  local command_path= next i\n"
        << "  for ((i = 2; i < CURRENT; i++)); do\n"
        << "    next=${command_path:+$command_path }${words[i]}\n"
        << "    (( ${+_marquee_words[$next]} )) && command_path=$next\n"
        << "  done\n"
        << "  local -a candidates\n"
        << "  candidates=(\"${(@f)_marquee_words[$command_path]}\")\n"
        << "  _describe -t marquee-words 'marquee' candidates\n"
        << "  _files\n"
        << "}\n"
        << "_marquee \"$@\"\n";
}

void writeFish(const CLI::App& app, std::ostream& out)
{
    std::vector<std::pair<std::string, const CLI::App*>> commands;
    collectCommands(app, "", commands);
    out << "# fish completion for marquee, written by `marquee --generate fish`\n"
        << "# The command path typed so far: the longest run of words naming a command.\n"
        << "set -g __marquee_paths";
    for (const auto& entry : commands)
        if (!entry.first.empty())
            out << " " << singleQuotedForFish(entry.first);
    out << "\n"
        << "function __marquee_path\n"
        << "    set -l path ''\n"
        << "    set -l tokens (commandline -opc)\n"
        << "    set -e tokens[1]\n"
        << "    for token in $tokens\n"
        << "        set -l next (string trim -- \"$path $token\")\n"
        << "        contains -- $next $__marquee_paths; and set path $next\n"
        << "    end\n"
        << "    echo $path\n"
        << "end\n"
        << "function __marquee_at\n"
        << "    test (__marquee_path) = \"$argv[1]\"\n"
        << "end\n";
    for (const auto& [path, command] : commands) {
        std::string condition = "-n " + singleQuotedForFish("__marquee_at " + singleQuotedForFish(path));
        if (!subcommandsOf(*command).empty())
            out << "complete -c marquee -f " << condition << "\n";
        for (const Candidate& candidate : candidatesOf(*command)) {
            out << "complete -c marquee " << condition;
            if (candidate.word.starts_with("--"))
                out << " -l " << singleQuotedForFish(candidate.word.substr(2)) << (candidate.takesValue ? " -r" : "");
            else
                out << " -a " << singleQuotedForFish(candidate.word);
            out << " -d " << singleQuotedForFish(oneLine(candidate.description)) << "\n";
        }
    }
}

} // namespace

bool writeReferenceDocument(const CLI::App& app, std::string_view kind, std::ostream& out)
{
    if (kind == "man")
        writeMan(app, out);
    else if (kind == "bash")
        writeBash(app, out);
    else if (kind == "zsh")
        writeZsh(app, out);
    else if (kind == "fish")
        writeFish(app, out);
    else
        return false;
    return true;
}

} // namespace mq::cli
