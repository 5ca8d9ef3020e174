#include "Tindxqueue.h"

#include "Exception.h"
#include "SysUtils.h"

TIndxQueue GlobalIndxQueue;

void TIndxQueue::PushInteger(int32_t value) { items_.push_back(Arg{false, value, AnsiString()}); }

void TIndxQueue::PushString(const AnsiString& text) { items_.push_back(Arg{true, 0, text}); }

AnsiString TIndxQueue::PopString() {
    if (items_.empty()) return AnsiString();
    try {
        Arg a = std::move(items_.front());
        items_.pop_front();
        return a.isText ? a.text : IntToStr(a.value);
    } catch (const Exception& e) {
        throw Exception("TIndxQueue::PopString: " + e.Message);
    }
}

void TIndxQueue::Clear() { items_.clear(); }
