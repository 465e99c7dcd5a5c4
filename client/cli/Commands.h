// The marquee tool's subcommand groups. Each add*Commands function registers its
// subcommands on the tool; a subcommand that fails reports through Output.h and
// throws CLI::RuntimeError with the exit status.
#pragma once

namespace CLI {
class App;
}

namespace mq::cli {

/// `marquee timecode ...`: conversions that need no helper.
void addTimecodeCommands(CLI::App& app);

/// `marquee scrub` and `marquee watch`: the shared-memory monitors, followed live.
void addMonitorCommands(CLI::App& app);

/// `marquee goto`, `playhead`, `project-start`, `project-url`, `control-bar`,
/// `action` and `colors-close`: single requests under the names a person uses.
void addPlayheadCommands(CLI::App& app);

/// `marquee call SELECTOR-NAME`: every request of the protocol as it is.
void addCallCommands(CLI::App& app);

/// An example under each subcommand's --help; call after every subcommand is added.
void addExamples(CLI::App& app);

/// `marquee --version`: the tool's, the client library's and the helper's versions.
void addVersionFlag(CLI::App& app);

/// `marquee permissions`, `relaunch`, `update-check` and `crash-report`.
void addMaintenanceCommands(CLI::App& app);

/// `marquee marker`, `markers` (a batch from a file) and `colors-avoid`.
void addMarkerCommands(CLI::App& app);
/// `marquee place`: an audio file on the timeline.
void addPlaceCommand(CLI::App& app);
/// `marquee bounce run`: the five bounce steps in order.
void addBounceCommands(CLI::App& app);
/// `marquee trace`: the step timelines of the last operations, from the helper's log.
void addTraceCommand(CLI::App& app);

} // namespace mq::cli
