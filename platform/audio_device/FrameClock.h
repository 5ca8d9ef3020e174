#pragma once
// Where the stream's frames sit on the monotonic clock, drawn from the times of the sink's blocks
// (the audio stream's own, internal to platform/audio_device).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tikora::audio {

inline constexpr int kStreamRate = 48000;
// A sink this far behind its schedule (a suspended process, a debugger) starts a new timeline
// instead of rendering the lost time in a burst.
inline constexpr int64_t kStreamResyncNs = 500'000'000;

// Where each stream frame sits on the monotonic clock, from the times of the audio callbacks.
// A callback comes when the device has room for a block, often late (the thread woke late) and
// sometimes early (a server fills its buffer in a burst, or asks on a timer of its own), never
// at a fixed distance from when its frames sound. The frames sound at a steady rate, though, so
// the timeline is a straight line: the device's rate, measured between the earliest callbacks
// of windows seconds apart, through the earliest callback of the last half second. Late
// callbacks do not move it at all, and the frames of every block are rendered at most one block
// ahead of the line, so events placed on it are never late. The line rises only slowly when the
// earliest callback of the window was a little later than the one before it (the jitter of the
// earliest callbacks), and at once by the gap when the device skipped (the server waited for
// data, and the callbacks from then on come later): within the window.
class FrameClock {
public:
    void Reset() { count_ = 0; }
    // Records the callback at time `t` for the block starting at `frame`; returns the line.
    void Update(int64_t frame, double t, double* timeOfFrame, double* nsPerFrame) {
        if (count_ > 0 && t - points_[(count_ - 1) % kPoints].t > kStreamResyncNs) count_ = 0;
        if (count_ == 0) {
            ns_ = 1e9 / kStreamRate;
            anchor_ = {frame, t};
            haveAnchor_ = false;
            lastLow_ = 0;
            lineFrame_ = frame;
            lineT_ = t;
        }
        points_[count_ % kPoints] = {frame, t};
        ++count_;
        // The earliest callback of the window, measured against a line of the current rate.
        const size_t n = std::min<size_t>(count_, kPoints);
        Point low = points_[(count_ - 1) % kPoints];
        double lowU = low.t - static_cast<double>(low.frame) * ns_;
        for (size_t i = 0; i < n; ++i) {
            const Point& p = points_[(count_ - 1 - i) % kPoints];
            if (t - p.t > kWindowNs) break;
            const double u = p.t - static_cast<double>(p.frame) * ns_;
            if (u < lowU) {
                lowU = u;
                low = p;
            }
        }
        // A rise beyond the jitter of the earliest callbacks: the device skipped. The rate is
        // measured afresh from here; until then the last measurement stands.
        if (haveAnchor_ && lowU - lastLow_ > kSkipNs) anchor_ = low;
        lastLow_ = lowU;
        if (!haveAnchor_ && t - anchor_.t >= kWindowNs) {
            anchor_ = low;
            haveAnchor_ = true;
        }
        if (haveAnchor_ && low.t - anchor_.t >= kStreamRateBaselineNs)
            ns_ = (low.t - anchor_.t) / static_cast<double>(low.frame - anchor_.frame);
        const double target = low.t + static_cast<double>(frame - low.frame) * ns_;
        double line = lineT_ + static_cast<double>(frame - lineFrame_) * ns_;
        if (target < line || target - line > kSkipNs)
            line = target;
        else
            line = std::min(target, line + kRiseNs);
        lineFrame_ = frame;
        lineT_ = line;
        *timeOfFrame = line;
        *nsPerFrame = ns_;
    }

private:
    struct Point {
        int64_t frame = 0;
        double t = 0;
    };
    static constexpr size_t kPoints = 512;
    static constexpr double kWindowNs = 0.5e9;
    static constexpr double kSkipNs = 3e6;
    static constexpr double kRiseNs = 5e3;  // per callback
    static constexpr double kStreamRateBaselineNs = 10e9;
    Point points_[kPoints];
    size_t count_ = 0;
    double ns_ = 1e9 / kStreamRate;
    Point anchor_;
    bool haveAnchor_ = false;
    double lastLow_ = 0;
    int64_t lineFrame_ = 0;
    double lineT_ = 0;
};

// A device opened again after it went away, while the null sink keeps the stream's time. Its first
// callbacks fill its buffer in a burst, and where its samples sound is known only once its
// callbacks come at its own pace; the null sink's line meanwhile says where every stream frame
// placed so far belongs. So the device plays silence while its own line (through its earliest
// callbacks, as FrameClock draws it) settles, and then the stream goes on at the device sample
// whose time on the device's line is the next frame's time on the null sink's: events placed on
// either side of the hand-over sound at the same delay after their time.
class DeviceHandOver {
public:
    // How long the device's callbacks keep its pace before its line is trusted.
    static constexpr int64_t kSettleNs = 100'000'000;

    void Start() {
        sample_ = 0;
        steadyCount_ = 0;
        lastNs_ = -1;
        steadySinceNs_ = -1;
    }
    // Records the device's callback at `now` for its next `frames` samples (played as silence
    // until the stream goes on). True once the device's line is known.
    bool Callback(int64_t now, int frames) {
        const int64_t sample = sample_;
        sample_ += frames;
        if (steadySinceNs_ < 0) {
            // Three callbacks in a row at least half a block apart: the device consumes at its
            // own pace.
            const int64_t period = static_cast<int64_t>(frames) * 1'000'000'000 / kStreamRate;
            steadyCount_ = lastNs_ >= 0 && now - lastNs_ >= period / 2 ? steadyCount_ + 1 : 0;
            lastNs_ = now;
            if (steadyCount_ < 3) return false;
            steadySinceNs_ = now;
            clock_.Reset();
        }
        clock_.Update(sample, static_cast<double>(now), &blockNs_, &nsPerFrame_);
        return now - steadySinceNs_ >= kSettleNs;
    }
    // Where in the block of the last callback the stream frame at `frameNs` on the null sink's
    // line starts: frames of silence before it, negative when it is that many frames late.
    int64_t Offset(double frameNs) const {
        return static_cast<int64_t>(std::floor((frameNs - blockNs_) / nsPerFrame_ + 0.5));
    }

private:
    FrameClock clock_;
    int64_t sample_ = 0;
    int steadyCount_ = 0;
    int64_t lastNs_ = -1;
    int64_t steadySinceNs_ = -1;
    double blockNs_ = 0;
    double nsPerFrame_ = 1e9 / kStreamRate;
};

}  // namespace tikora::audio
