// Reading Logic's control-bar time display through accessibility.
//
// The display is a group whose children are sliders, one per field: hours,
// minutes, seconds, frames and, in some display settings, a fifth sub-frame field.
// Logic is localised, so field and bar names are matched against the word lists
// below: a text matches a list when, lower-cased, it contains the lower-cased form
// of any entry.
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mq::timecode {

namespace words {
inline constexpr std::array<std::string_view, 7> controlBarNames { "Control Bar", "Steuerungsleiste", "Barra de controles",
    "Barre des commandes", "コントロールバー", "제어 막대", "控制栏" };
inline constexpr std::array<std::string_view, 7> hourNames { "Hour", "Stunde", "Hora", "Heure", "時", "시간", "小时" };
inline constexpr std::array<std::string_view, 13> quarterFrameNames { "quarter frame", "quarter-frame", "cuarto de fotograma",
    "cuartos de fotograma", "quart d’image", "quarts d’image", "quarto di fotogramm", "4分の1フレーム", "쿼터 프레임",
    "quarto de quadro", "quartos de quadro", "1/4 帧", "四分之一影格" };
inline constexpr std::array<std::string_view, 10> subframeNames { "sub frame", "subframe", "subfotograma", "sous-image",
    "sotto fotogramm", "サブフレーム", "서브 프레임", "subquadro", "子帧", "子影格" };
/// Sample names for the display mode of a fifth field.
inline constexpr std::array<std::string_view, 9> displayModeSampleNames { "sample", "échantillon", "campion", "サンプル",
    "サンプリング", "샘플", "采样", "取樣", "樣本" };
inline constexpr std::array<std::string_view, 11> secondFractionNames { "second fraction", "seconds fraction", "Sekundenbruchteil",
    "Sekundenbruchteile", "fracción de segundo", "fracciones de segundo", "fraction de seconde", "fractions de seconde", "ミリ秒",
    "초 분수", "秒钟分数" };
/// Sample names for the control-bar state of a fourth field.
inline constexpr std::array<std::string_view, 9> controlBarStateSampleNames { "sample", "samples", "muestra", "muestras",
    "échantillon", "échantillons", "サンプル", "샘플", "采样" };
} // namespace words

/// `text` lower-cased: ASCII, Latin-1 and Latin Extended-A letters (the scripts of
/// the word lists that have case); every other character is kept as it is.
std::string lowercased(std::string_view text);

/// Whether lower-cased `text` contains one of `loweredEntries` (already lower-cased).
bool containsAny(std::string_view text, std::span<const std::string> loweredEntries);

/// The hour, control-bar, second-fraction and control-bar-state sample lists,
/// lower-cased once on first use (thread-safe) and kept.
std::span<const std::string> loweredHourNames();
std::span<const std::string> loweredControlBarNames();
std::span<const std::string> loweredSecondFractionNames();
std::span<const std::string> loweredControlBarStateSampleNames();

/// Whether `description` names an hour field: lower-cased, it equals or contains
/// a lower-cased hour name.
bool isHourFieldDescription(std::string_view description);

/// The display mode of a set of field sliders.
namespace displaymode {
inline constexpr std::int64_t unknown = -1;
inline constexpr std::int64_t frames = 0;
inline constexpr std::int64_t subframes = 1;
inline constexpr std::int64_t quarterFrames = 2;
inline constexpr std::int64_t samples = 3;
} // namespace displaymode

/// The control-bar state that evaluateControlBarState answers.
namespace controlbarstate {
inline constexpr std::int64_t readable = 0;
inline constexpr std::int64_t noControlBar = 1;
inline constexpr std::int64_t noTimeDisplay = 2;
inline constexpr std::int64_t notFrames = 3;
inline constexpr std::int64_t logicNotReachable = 4;
} // namespace controlbarstate

/// The most elements a display search examines per root.
inline constexpr std::size_t kDisplaySearchBudget = 6000;

/// Reads that never throw: a failed read is an absent value.
std::optional<std::string> readString(const ax::UIElement& element, ax::Attribute attribute);
std::vector<ax::UIElement> readChildren(const ax::UIElement& element);
/// The AXSlider children of `group`, in their order (none when unreadable).
std::vector<ax::UIElement> sliderChildren(const ax::UIElement& group);
/// Orders `sliders` by the x of their AXPosition, ascending, keeping the order of
/// equal values; a position that cannot be read counts as x = 0.
void sortByScreenX(std::vector<ax::UIElement>& sliders);

/// Whether `element` is the control bar: its AXDescription, AXTitle or AXHelp (in
/// that order; reads that fail are skipped) matches the control-bar names.
bool isControlBarGroup(const ax::UIElement& element);

/// The SMPTE display below `root`, depth first (the last child pushed is examined
/// next), at most kDisplaySearchBudget elements: the first AXGroup with 3 or more
/// AXSlider children, ordered by x position (unreadable counts as 0), whose first
/// slider's description names an hour field. Nothing when there is none.
std::optional<std::vector<ax::UIElement>> findSMPTESliders(const ax::UIElement& root);

/// 0 for 4 sliders; for 5, chosen by the fifth's description: 2 quarter frames,
/// 1 subframes, 3 samples, or -1 (with a debug line on "helper.scrub") when none
/// matches or it cannot be read; -1 for any other count.
std::int64_t lcdDisplayMode(std::span<const ax::UIElement> sliders);

/// The AXValueDescriptions of the first four of 4 or 5 sliders, joined with ":";
/// nothing for another count or when one of them cannot be read.
std::optional<std::string> lcdText(std::span<const ax::UIElement> sliders);

/// lcdText read as seconds at `frameRate` (parseLCDTimecode).
std::optional<double> lcdSeconds(std::span<const ax::UIElement> sliders, double frameRate);

/// Whether the helper can read Logic's control-bar position: one of the
/// controlbarstate values.
std::int64_t evaluateControlBarState(platform::Platform& platform);

} // namespace mq::timecode
