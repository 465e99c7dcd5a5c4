// The names that Logic gives the control bar and the fields of its time display,
// in the languages it is localised to, and how texts are matched against them: a
// text matches a list when, lower-cased, it contains the lower-cased form of any
// entry.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

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

/// Whether lower-cased `text` contains the lower-cased form of one of `entries`,
/// lowering them at this call (for the short lists that are read rarely).
bool containsAnyOf(std::string_view text, std::span<const std::string_view> entries);

/// The hour, control-bar, second-fraction and control-bar-state sample lists,
/// lower-cased once on first use (thread-safe) and kept.
std::span<const std::string> loweredHourNames();
std::span<const std::string> loweredControlBarNames();
std::span<const std::string> loweredSecondFractionNames();
std::span<const std::string> loweredControlBarStateSampleNames();

/// Whether `description` names an hour field: lower-cased, it equals or contains
/// a lower-cased hour name.
bool isHourFieldDescription(std::string_view description);

} // namespace mq::timecode
