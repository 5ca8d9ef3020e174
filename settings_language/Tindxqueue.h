#pragma once
// The argument queue that fills "#" placeholders of settings paths, oldest argument first.
#include <cstdint>
#include <deque>

#include "AnsiString.h"

class TIndxQueue {
public:
    TIndxQueue() = default;
    ~TIndxQueue() { Clear(); }
    TIndxQueue(const TIndxQueue&) = delete;
    TIndxQueue& operator=(const TIndxQueue&) = delete;

    void PushInteger(int32_t value);
    void PushString(const AnsiString& text);
    // The oldest argument as text (an integer in decimal); empty when the queue is empty.
    AnsiString PopString();
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }

private:
    struct Arg {
        bool isText;
        int32_t value;
        AnsiString text;
    };
    std::deque<Arg> items_;
};

// The program's one argument queue: the ...Idx accessors push, the path resolver pops.
extern TIndxQueue GlobalIndxQueue;
