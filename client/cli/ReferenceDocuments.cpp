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

} // namespace

bool writeReferenceDocument(const CLI::App& app, std::string_view kind, std::ostream& out)
{
    if (kind == "man")
        writeMan(app, out);
    else if (kind == "bash")
        writeBash(app, out);
    else
        return false;
    return true;
}

} // namespace mq::cli
