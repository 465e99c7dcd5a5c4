#include "marquee/ScrubReader.h"

namespace mq::client {

Expected<ScrubReader, shm::MapFailure> ScrubReader::open(const std::string& path)
{
    return ScrubReader(MQ_TRY(shm::ScrubBlock::open(path)));
}

std::optional<ScrubSnapshot> ScrubReader::snapshot(int maxAttempts) const
{
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        ScrubSnapshot snapshot;
        std::uint32_t before = m_block.sequence();
        snapshot.displayModeWord = m_block.displayModeWord();
        snapshot.position = m_block.position();
        snapshot.valid = m_block.valid() != 0;
        std::uint32_t after = m_block.sequence();
        if (before == after) {
            snapshot.sequence = after;
            return snapshot;
        }
    }
    return std::nullopt;
}

void ScrubReader::requestSteadyRate(bool steady)
{
    m_block.storeSteadyRateRequest(steady ? 1 : 0);
}

} // namespace mq::client
