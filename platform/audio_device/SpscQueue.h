#pragma once
// A bounded queue between one producer thread and the audio thread. Neither side ever waits:
// Push fails when the queue is full, Front returns nullptr when it is empty. Producers on several
// threads take turns under a lock of their own, so the queue still sees a single producer; the
// audio thread, the only consumer, never takes a lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tikora::audio {

template <typename T>
class SpscQueue {
public:
    explicit SpscQueue(size_t capacity) : items_(capacity) {}

    // Producer.
    bool Push(const T& item) {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= items_.size()) return false;
        items_[tail % items_.size()] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Consumer: the oldest item, valid until Pop, or nullptr.
    const T* Front() const {
        const uint64_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return nullptr;
        return &items_[head % items_.size()];
    }
    void Pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    std::vector<T> items_;
    std::atomic<uint64_t> head_{0};  // written by the consumer
    std::atomic<uint64_t> tail_{0};  // written by the producer
};

}  // namespace tikora::audio
