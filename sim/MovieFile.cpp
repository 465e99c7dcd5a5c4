#include "sim/MovieFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <memory>

namespace mq::sim {

namespace {

struct CloseInput {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

std::string describeError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] {};
    av_strerror(code, text, sizeof text);
    return text;
}

double seconds(std::int64_t value, AVRational base) { return static_cast<double>(value) * av_q2d(base); }

} // namespace

Expected<MovieFileInfo, std::string> readMovieFile(const std::string& path)
{
    // The library's own chatter would mix with logicsim's log.
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* opened = nullptr;
    if (int error = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); error < 0)
        return unexpected("cannot open " + path + ": " + describeError(error));
    std::unique_ptr<AVFormatContext, CloseInput> context(opened);
    if (int error = avformat_find_stream_info(context.get(), nullptr); error < 0)
        return unexpected("cannot read the streams of " + path + ": " + describeError(error));
    int index = av_find_best_stream(context.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return unexpected(path + " has no video");
    AVStream* stream = context->streams[index];

    MovieFileInfo info;
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0)
        info.durationSeconds = seconds(context->duration, AVRational { 1, AV_TIME_BASE });
    else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        info.durationSeconds = seconds(stream->duration, stream->time_base);
    AVRational rate = av_guess_frame_rate(context.get(), stream, nullptr);
    if (rate.num > 0 && rate.den > 0)
        info.frameRate = av_q2d(rate);
    if (info.durationSeconds <= 0 || info.frameRate <= 0)
        return unexpected(path + " has no length or frame rate");
    return info;
}

} // namespace mq::sim
