// libFuzzer target: the frame decoder must reject or accept any bytes without
// crashing, and whatever it accepts must encode and decode again to the same frame.
#include "protocol/Frame.h"

#include <cmath>
#include <cstdlib>

namespace {

bool sameValue(const mq::WireValue& a, const mq::WireValue& b)
{
    if (auto* x = std::get_if<double>(&a)) {
        auto* y = std::get_if<double>(&b);
        return y && (*x == *y || (std::isnan(*x) && std::isnan(*y)));
    }
    return a == b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto decoded = mq::ipc::decodeFrameBody(data, size);
    if (!decoded)
        return 0;
    const mq::ipc::Frame* frame = &decoded.value();
    auto bytes = mq::ipc::encodeFrame(*frame);
    auto again = mq::ipc::decodeFrameBody(bytes.data() + mq::ipc::kFrameHeaderBytes, bytes.size() - mq::ipc::kFrameHeaderBytes);
    const mq::ipc::Frame* second = again ? &again.value() : nullptr;
    if (!second || second->kind != frame->kind || second->id != frame->id || second->selector != frame->selector
        || second->values.size() != frame->values.size())
        std::abort();
    for (std::size_t i = 0; i < frame->values.size(); ++i)
        if (!sameValue(frame->values[i], second->values[i]))
            std::abort();
    return 0;
}
