// Entry-point tables of the FFmpeg libraries.
//
// The program is compiled against FFmpeg's headers for their types but links no
// FFmpeg library: every call goes through a function pointer in namespace ff that
// the library loader fills by name when the library is loaded. Call them as
// ff::avcodec_open2(...); a plain avcodec_open2(...) would not link.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libavutil/tx.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zorvex::ff {
#define FF_ENTRY(lib, name) extern decltype(&::name) name;
#include "media/ffapi_entries.inc"
#undef FF_ENTRY
}  // namespace zorvex::ff
