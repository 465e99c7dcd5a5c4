// `marquee permissions`, `marquee relaunch`, `marquee update-check` and
// `marquee crash-report`: the permission and housekeeping requests, with the
// options a person needs around them (saving the notes or the report, opening a
// settings pane).
#include "client/cli/Commands.h"
#include "client/cli/Output.h"

#include "client/HelperConnection.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>

namespace mq::cli {

namespace {

using namespace std::chrono_literals;

/// Prints the reply of `Request`, or exits as the other commands do.
template<typename Request>
int callAndPrint(client::HelperConnection& connection, const CommonOptionValues& common, typename Request::Arguments arguments = {})
{
    auto result = connection.template call<Request>(std::move(arguments), common.timeout());
    if (!result)
        exitForClientError(result.error());
    return printReply(Request::selector, protocol::parameterNames(Request::replyText), ipc::encodeTuple(std::move(result.value())),
        common.json);
}

void writeFile(const std::string& path, const Data& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::cerr << "marquee: cannot write " << path << "\n";
        throw CLI::RuntimeError(kExitFailureReply);
    }
}

void addPermissionsCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto prime = std::make_shared<bool>(false);
    auto open = std::make_shared<std::string>();
    auto* command = app.add_subcommand("permissions",
        "the state of the three permissions (permissionsStatusWithReply:); --prime asks for the Automation permissions "
        "first, --open opens a settings pane instead");
    auto* primeFlag = command->add_flag("--prime", *prime, "ask for Logic's and System Events' Automation first (primeAutomationPromptsWithReply:)");
    command->add_option("--open", *open, "open a settings pane: accessibility, automation or sync (Logic's synchronization settings)")
        ->check(CLI::IsMember({ "accessibility", "automation", "sync" }))
        ->excludes(primeFlag);
    add(command, common);
    command->callback([common, prime, open] {
        auto connection = connectOrExit(*common);
        int status = 0;
        if (*open == "accessibility")
            status = callAndPrint<protocol::openAccessibilitySettingsWithReply>(*connection, *common);
        else if (*open == "automation")
            status = callAndPrint<protocol::openAutomationSettingsWithReply>(*connection, *common);
        else if (*open == "sync")
            status = callAndPrint<protocol::openLogicSynchronizationSettingsWithReply>(*connection, *common);
        else {
            if (*prime) {
                auto primed = connection->primeAutomationPromptsWithReply({}, common->timeout());
                if (!primed)
                    exitForClientError(primed.error());
            }
            status = callAndPrint<protocol::permissionsStatusWithReply>(*connection, *common);
        }
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

void addRelaunchCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto* command = app.add_subcommand("relaunch",
        "have the helper exit so that the next connection starts it afresh (recheckPermissionsBouncingWithReply:)");
    add(command, common);
    command->callback([common] {
        auto connection = connectOrExit(*common);
        auto result = connection->recheckPermissionsBouncingWithReply({}, common->timeout());
        if (!result)
            exitForClientError(result.error());
        // The helper ends 0.1 s after its reply, which closes this connection.
        bool ended = connection->waitUntilClosed(5s);
        if (common->json)
            std::cout << (ended ? R"({"exited": true})" : R"({"exited": false})") << "\n";
        else
            std::cout << (ended ? "exited: true" : "exited: false (the helper is still running after 5 s)") << "\n";
        if (!ended)
            throw CLI::RuntimeError(kExitFailureReply);
    });
}

void addUpdateCheckCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto notesFile = std::make_shared<std::string>();
    auto* command = app.add_subcommand("update-check", "look for a newer version (checkForUpdateWithReply:)");
    command->add_option("--save-notes", *notesFile, "write the release notes (HTML) to this file");
    add(command, common);
    command->callback([common, notesFile] {
        auto connection = connectOrExit(*common);
        auto result = connection->checkForUpdateWithReply({}, common->timeout());
        if (!result)
            exitForClientError(result.error());
        auto values = std::move(result.value());
        const auto& notes = std::get<3>(values);
        if (std::get<0>(values) && !notesFile->empty())
            writeFile(*notesFile, notes ? *notes : Data {});
        int status = printReply(protocol::checkForUpdateWithReply::selector,
            protocol::parameterNames(protocol::checkForUpdateWithReply::replyText), ipc::encodeTuple(std::move(values)), common->json);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

void addCrashReportCommand(CLI::App& app)
{
    auto common = std::make_shared<CommonOptionValues>();
    auto folder = std::make_shared<std::string>();
    auto* command = app.add_subcommand("crash-report", "the newest crash report of the product (fetchLatestCrashReportWithReply:)");
    command->add_option("--save", *folder, "write the report into this folder under its own name")->check(CLI::ExistingDirectory);
    add(command, common);
    command->callback([common, folder] {
        auto connection = connectOrExit(*common);
        auto result = connection->fetchLatestCrashReportWithReply({}, common->timeout());
        if (!result)
            exitForClientError(result.error());
        auto values = std::move(result.value());
        const auto& [report, fileName] = values;
        // The name comes from the helper: only a plain file name is written under the folder.
        if (report && fileName && !folder->empty()) {
            if (fileName->empty() || fileName->find('/') != std::string::npos || *fileName == "." || *fileName == "..") {
                std::cerr << "marquee: the helper named the report '" << *fileName << "', which is no file name\n";
                throw CLI::RuntimeError(kExitFailureReply);
            }
            writeFile(*folder + "/" + *fileName, *report);
        }
        int status = printReply(protocol::fetchLatestCrashReportWithReply::selector,
            protocol::parameterNames(protocol::fetchLatestCrashReportWithReply::replyText), ipc::encodeTuple(std::move(values)),
            common->json);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

} // namespace

void addMaintenanceCommands(CLI::App& app)
{
    addPermissionsCommand(app);
    addRelaunchCommand(app);
    addUpdateCheckCommand(app);
    addCrashReportCommand(app);
}

} // namespace mq::cli
