#include "media/player/packet_queue.h"

#include "media/ffapi.h"

namespace zorvex {

TPacketQueue::TPacketQueue(const AVPacket* flushPacket) : flushPacket_(flushPacket) {
    PutFlush();
}

TPacketQueue::~TPacketQueue() {
    Flush();
}

int TPacketQueue::Put(AVPacket* packet) {
    AVPacket* owned = packet;
    if (!IsFlush(packet)) {
        owned = ff::av_packet_alloc();
        if (owned == nullptr) return -1;
        ff::av_packet_move_ref(owned, packet);
        // The demuxer may hand out packets that point into its own buffers.
        if (owned->buf == nullptr && owned->size > 0 && ff::av_packet_make_refcounted(owned) < 0) {
            ff::av_packet_free(&owned);
            return -1;
        }
    }
    {
        std::lock_guard lock(mutex_);
        packets_.push_back(owned);
        size_ += owned->size + NodeSize;
    }
    changed_.notify_all();
    return 0;
}

int TPacketQueue::Get(AVPacket*& packet, bool block) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (abort_) return -1;
        if (!packets_.empty()) {
            packet = packets_.front();
            packets_.pop_front();
            size_ -= packet->size + NodeSize;
            return 1;
        }
        if (!block) return 0;
        changed_.wait(lock);
    }
}

void TPacketQueue::Flush() {
    std::deque<AVPacket*> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(packets_);
        size_ = 0;
    }
    for (AVPacket* p : dropped) {
        if (!IsFlush(p)) ff::av_packet_free(&p);
    }
}

void TPacketQueue::Abort() {
    {
        std::lock_guard lock(mutex_);
        abort_ = true;
    }
    changed_.notify_all();
}

bool TPacketQueue::Aborted() const {
    std::lock_guard lock(mutex_);
    return abort_;
}

int TPacketQueue::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(packets_.size());
}

int TPacketQueue::Size() const {
    std::lock_guard lock(mutex_);
    return size_;
}

}  // namespace zorvex
