// What Logic calls its control bar and the fields of its time display, per
// language (en de es fr ja ko zh): shared by the control commands and the
// transport's display.
#pragma once

#include <string_view>

namespace mq::sim {

struct DisplayWords {
    const char* language;
    const char* controlBar;
    const char* fields[4]; // hours, minutes, seconds, frames
    const char* subframes;
    const char* quarterFrames;
    const char* samples;
    const char* secondsFraction;
    const char* bars[4]; // bar, beat, division, tick
};

inline constexpr DisplayWords kDisplayWords[] = {
    { "en", "Control Bar", { "Hours", "Minutes", "Seconds", "Frames" }, "Subframes", "Quarter Frames", "Samples", "Seconds Fraction",
        { "Bar", "Beat", "Division", "Tick" } },
    { "de", "Steuerungsleiste", { "Stunden", "Minuten", "Sekunden", "Frames" }, "Subframes", "Quarter Frames", "Samples",
        "Sekundenbruchteile", { "Takt", "Schlag", "Division", "Tick" } },
    { "es", "Barra de controles", { "Horas", "Minutos", "Segundos", "Cuadros" }, "Subfotogramas", "Cuartos de fotograma", "Samples",
        "Fracciones de segundo", { "Compás", "Tiempo", "División", "Tic" } },
    { "fr", "Barre des commandes", { "Heures", "Minutes", "Secondes", "Images" }, "Sous-images", "Quarts d’image", "Échantillons",
        "Fractions de seconde", { "Mesure", "Temps", "Division", "Tic" } },
    { "ja", "コントロールバー", { "時", "分", "秒", "フレーム" }, "サブフレーム", "4分の1フレーム", "サンプル", "ミリ秒",
        { "小節", "拍", "ディビジョン", "ティック" } },
    { "ko", "제어 막대", { "시간", "분", "초", "프레임" }, "서브 프레임", "쿼터 프레임", "샘플", "초 분수", { "마디", "박", "디비전", "틱" } },
    { "zh", "控制栏", { "小时", "分钟", "秒", "帧" }, "子帧", "1/4 帧", "采样", "秒钟分数", { "小节", "拍", "细分", "嘀嗒" } },
};

/// The words of `language`; nullptr for a language logicsim does not speak.
inline const DisplayWords* displayWords(std::string_view language)
{
    for (const auto& words : kDisplayWords)
        if (language == words.language)
            return &words;
    return nullptr;
}

} // namespace mq::sim
