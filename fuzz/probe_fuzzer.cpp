// The media probe on arbitrary bytes: FFmpeg's demuxers read them from memory
// through a custom I/O context, opened with the same protocol whitelist as a
// local file, and the probe answers every question about the result.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "fuzz/fuzz_support.h"
#include "media/ffapi.h"
#include "media/loader.h"
#include "media/probe.h"
#include "media/util.h"

using namespace zorvex;

namespace {

struct MemoryFile {
    const std::uint8_t* data;
    std::int64_t size;
    std::int64_t pos;
};

int ReadPacket(void* opaque, std::uint8_t* buffer, int capacity) {
    auto* file = static_cast<MemoryFile*>(opaque);
    const std::int64_t n = std::min<std::int64_t>(capacity, file->size - file->pos);
    if (n <= 0) return AVERROR_EOF;
    std::memcpy(buffer, file->data + file->pos, static_cast<size_t>(n));
    file->pos += n;
    return static_cast<int>(n);
}

std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) return file->size;
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = file->pos;
            break;
        case SEEK_END:
            base = file->size;
            break;
        default:
            return -1;
    }
    if (offset > file->size - base || offset < -base) return -1;
    file->pos = base + offset;
    return file->pos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::LoadConverterLibraries();
    // A corrupt header may ask for gigabytes; refuse that inside FFmpeg, as a
    // machine short of memory would, rather than report it as a finding.
    ff::av_max_alloc(64 << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr int kBufferSize = 4096;
    MemoryFile file{data, static_cast<std::int64_t>(size), 0};
    auto* buffer = static_cast<std::uint8_t*>(ff::av_malloc(kBufferSize));
    AVIOContext* io =
        ff::avio_alloc_context(buffer, kBufferSize, 0, &file, ReadPacket, nullptr, Seek);
    AVFormatContext* context = ff::avformat_alloc_context();
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    SetLocalProtocolWhitelist(&options);
    const int opened = ff::avformat_open_input(&context, "", nullptr, &options);
    ff::av_dict_free(&options);
    if (opened >= 0) {
        int found;
        {
            std::lock_guard lock(CodecLock());
            found = ff::avformat_find_stream_info(context, nullptr);
        }
        if (found >= 0) {
            TAVProbe probe;
            probe.AttachContext(context);
            TFileStreamInfo fileInfo;
            probe.GetFileStreamInfo(fileInfo);
            for (int i = -1; i < probe.StreamCount(); ++i) {
                TAudioStreamInfo audio;
                probe.GetAudioStreamInfo(i, audio);
                TVideoStreamInfo video;
                probe.GetVideoStreamInfo(i, video);
            }
            probe.GetFileInfoText();
            probe.CloseFile();
        }
        std::lock_guard lock(CodecLock());
        ff::avformat_close_input(&context);
    }
    // A failed open has freed the context; the custom I/O is always ours to free.
    if (io != nullptr) ff::av_freep(&io->buffer);
    ff::avio_context_free(&io);
    return 0;
}
