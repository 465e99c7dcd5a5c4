#include "tests/support/TestMovie.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace mq::test {

void writeTestMovie(const std::string& path, int frames, int rateNumerator, int rateDenominator)
{
    constexpr int kSide = 16;
    constexpr std::size_t kFrameBytes = kSide * kSide * 3 / 2; // 4:2:0
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "YUV4MPEG2 W" << kSide << " H" << kSide << " F" << rateNumerator << ":" << rateDenominator << " Ip A1:1 C420jpeg\n";
    for (int frame = 0; frame < frames; ++frame)
        out << "FRAME\n" << std::string(kFrameBytes, static_cast<char>(frame % 200 + 16));
    if (!out.flush())
        throw std::runtime_error("cannot write the test movie " + path);
}

} // namespace mq::test
