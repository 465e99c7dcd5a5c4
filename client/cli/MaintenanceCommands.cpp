// `marquee permissions`, `marquee relaunch`, `marquee update-check` and
// `marquee crash-report`: the permission and housekeeping requests, with the
// options a person needs around them (saving the notes or the report, opening a
// settings pane).
#include "client/cli/Commands.h"
#include "client/cli/Output.h"

#include "marquee/HelperConnection.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <unistd.h>

namespace mq::cli {

namespace {

using namespace std::chrono_literals;

void writeFile(const CommonOptionValues& common, const std::string& path, const Data& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        exitForFailure(common, "cannot write " + path);
}

void addPermissionsCommand(CLI::App& app)
{
    auto common = commonOptionsFor("permissions");
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
        if (*open == "accessibility")
            callAndPrint<protocol::openAccessibilitySettingsWithReply>(*connection, *common, {});
        else if (*open == "automation")
            callAndPrint<protocol::openAutomationSettingsWithReply>(*connection, *common, {});
        else if (*open == "sync")
            callAndPrint<protocol::openLogicSynchronizationSettingsWithReply>(*connection, *common, {});
        else {
            if (*prime) {
                auto primed = connection->primeAutomationPromptsWithReply({}, common->timeout());
                if (!primed)
                    exitForClientError(*common, primed.error());
            }
            callAndPrint<protocol::permissionsStatusWithReply>(*connection, *common, {});
        }
    });
}

void addRelaunchCommand(CLI::App& app)
{
    auto common = commonOptionsFor("relaunch");
    auto* command = app.add_subcommand("relaunch",
        "have the helper exit so that the next connection starts it afresh (recheckPermissionsBouncingWithReply:)");
    add(command, common);
    command->callback([common] {
        auto connection = connectOrExit(*common);
        auto result = connection->recheckPermissionsBouncingWithReply({}, common->timeout());
        if (!result)
            exitForClientError(*common, result.error());
        // The helper ends 0.1 s after its reply, which closes this connection.
        if (!connection->waitUntilClosed(5s))
            exitForFailure(*common, "the helper is still running after 5 s", { { "exited", false } });
        if (common->json)
            printJSONReply(*common, { { "exited", true } });
        else
            std::cout << "exited: true\n";
    });
}

void addUpdateCheckCommand(CLI::App& app)
{
    auto common = commonOptionsFor("update-check");
    auto notesFile = std::make_shared<std::string>();
    auto* command = app.add_subcommand("update-check", "look for a newer version (checkForUpdateWithReply:)");
    command->add_option("--save-notes", *notesFile, "write the release notes (HTML) to this file");
    add(command, common);
    command->callback([common, notesFile] {
        auto connection = connectOrExit(*common);
        auto result = connection->checkForUpdateWithReply({}, common->timeout());
        if (!result)
            exitForClientError(*common, result.error());
        auto values = std::move(result.value());
        const auto& notes = std::get<3>(values);
        if (std::get<0>(values) && !notesFile->empty())
            writeFile(*common, *notesFile, notes ? *notes : Data {});
        if (int status = printReply(*common, protocol::parameterNames(protocol::checkForUpdateWithReply::replyText), ipc::encodeTuple(std::move(values))))
            exitWith(status);
    });
}

void addCrashReportCommand(CLI::App& app)
{
    auto common = commonOptionsFor("crash-report");
    auto folder = std::make_shared<std::string>();
    auto* command = app.add_subcommand("crash-report",
        "the newest crash report of the product (fetchLatestCrashReportWithReply:): the report itself on standard output, "
        "or saved under its own name with --save");
    command->add_option("--save", *folder, "write the report into this folder under its own name")->check(CLI::ExistingDirectory);
    add(command, common);
    command->callback([common, folder] {
        auto connection = connectOrExit(*common);
        auto result = connection->fetchLatestCrashReportWithReply({}, common->timeout());
        if (!result)
            exitForClientError(*common, result.error());
        auto values = std::move(result.value());
        const auto& [report, fileName] = values;
        if (!report || !fileName)
            exitForFailure(*common, "no crash report found");
        // The name comes from the helper: only a plain file name is written under the folder.
        if (fileName->empty() || fileName->find('/') != std::string::npos || *fileName == "." || *fileName == "..")
            exitForFailure(*common, "the helper named the report '" + *fileName + "', which is no file name");
        std::string saved;
        if (!folder->empty()) {
            saved = *folder + "/" + *fileName;
            writeFile(*common, saved, *report);
        }
        if (common->json) {
            nlohmann::json reply { { "fileName", *fileName }, { "length", report->size() } };
            if (saved.empty())
                reply["report"] = toJSON(WireValue { *report });
            else
                reply["saved"] = saved;
            printJSONReply(*common, std::move(reply));
        } else if (!saved.empty()) {
            std::cout << "saved: " << saved << "\n";
        } else {
            // The report alone, so that `marquee crash-report > latest.crash` keeps it as it is.
            std::cout.write(reinterpret_cast<const char*>(report->data()), static_cast<std::streamsize>(report->size()));
            if (::isatty(STDERR_FILENO))
                std::cerr << "marquee crash-report: " << *fileName << "\n";
        }
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
