// A packet queue between the read thread and one decoder. The flush packet is
// a marker recognised by its address alone: the queue passes it through as it
// is and never copies or frees it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

namespace zorvex {

class TPacketQueue {
public:
    // Creates the queue holding the flush packet as its first entry.
    explicit TPacketQueue(const AVPacket* flushPacket);
    ~TPacketQueue();  // frees every queued packet
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;

    // Takes over the packet's reference (the caller's packet is left empty).
    // The flush packet is queued as a marker. 0, or -1 when out of memory.
    int Put(AVPacket* packet);
    int PutFlush() { return Put(const_cast<AVPacket*>(flushPacket_)); }
    // 1 with a packet that the caller now owns (free it with av_packet_free),
    // or the flush packet itself; 0 when empty and not blocking; -1 when aborted.
    int Get(AVPacket*& packet, bool block);
    // Frees every queued packet.
    void Flush();
    // Ends every wait now and later; Get answers -1 from now on.
    void Abort();

    bool IsFlush(const AVPacket* packet) const { return packet == flushPacket_; }
    bool Aborted() const;
    int Count() const;
    // Sum over the queued packets of (data size + the size of one node).
    int Size() const;

    static constexpr int NodeSize = 96;  // a packet record and the link to the next

private:
    const AVPacket* flushPacket_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<AVPacket*> packets_;
    int size_ = 0;
    bool abort_ = false;
};

}  // namespace zorvex
