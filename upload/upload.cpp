#include "upload/upload.h"

#include <chrono>
#include <cstdio>

#include "upload/progress.h"

namespace fwsend {

namespace {

int Fail(Com& transport) {
    std::fflush(stdout);
    transport.Close();
    return -1;
}

int Interrupted(Com& transport) {
    std::printf("\nFailed: Interrupted.\n");
    return Fail(transport);
}

// Which frame a failure concerns, beside the verdict line: that line is
// what scripts know, this is what a developer needs to tell a damaged file
// from a target that answers something else.
struct FrameAt {
    int index;
    std::int32_t pos;
    std::int32_t size;
};

void ExplainSilence(const FrameAt& frame, bool linkFailed) {
    std::fflush(stdout);
    if (linkFailed) {
        std::fprintf(stderr,
                     "fwsend: frame %d (offset %d, %d bytes): the link failed while its answer was awaited\n",
                     frame.index, static_cast<int>(frame.pos), static_cast<int>(frame.size));
    } else {
        std::fprintf(stderr, "fwsend: frame %d (offset %d, %d bytes) got no answer\n", frame.index,
                     static_cast<int>(frame.pos), static_cast<int>(frame.size));
    }
}

void ExplainRejections(const FrameAt& frame, const std::uint8_t (&answers)[kMaxSends]) {
    static_assert(kMaxSends == 4, "the line names four answers");
    std::fflush(stdout);
    std::fprintf(stderr,
                 "fwsend: frame %d (offset %d, %d bytes) was answered 0x%02X, 0x%02X, 0x%02X, 0x%02X\n",
                 frame.index, static_cast<int>(frame.pos), static_cast<int>(frame.size), answers[0],
                 answers[1], answers[2], answers[3]);
}

// Drops whatever the target sent before this frame (extra bytes after its
// last verdict, noise), so it is never taken as this frame's verdict. False
// when the line does not fall silent within the drain limit.
bool DrainStaleInput(Com& transport, const MillisecondClock& now) {
    transport.SetTimeout(kDrainTimeout);
    const std::int64_t start = now();
    std::uint8_t byte = 0;
    std::uint32_t received = 0;
    while (transport.Read(&byte, 1, &received) && received != 0) {
        if (now() - start > kDrainLimitMs) return false;
    }
    return true;
}

}  // namespace

std::int64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int Upload(Com& transport, const UpgradeImage& image, const MillisecondClock& now,
           const InterruptCheck& interrupted) {
    ProgressLine progress;
    std::int32_t pos = 0;
    std::int32_t acked = 0;
    std::uint8_t rejects = 0;
    int frameIndex = 0;
    std::uint8_t answers[kMaxSends] = {};
    while (pos < image.count) {
        const std::int32_t frameSize = UpgradeFrame::SizeAt(image, pos);
        const FrameAt frame{frameIndex, pos, frameSize};
        const bool settled = DrainStaleInput(transport, now);
        // An interrupt cuts the drain short; no frame goes out after one.
        if (interrupted()) return Interrupted(transport);
        if (!settled) {
            std::printf("\nFailed: Target keeps sending, the line does not settle.\n");
            return Fail(transport);
        }
        transport.SetTimeout(kVerdictTimeout);
        progress.Show(acked, image.count);
        // A failed write shows up as a missing or wrong verdict.
        transport.Write(&image.bytes[pos], static_cast<std::uint32_t>(frameSize));

        std::uint8_t verdict = 0;
        std::uint32_t received = 0;
        const bool readOk = transport.Read(&verdict, 1, &received);
        if (!readOk || received == 0) {
            if (interrupted()) return Interrupted(transport);
            std::printf("\nFailed: Target is not responding.\n");
            ExplainSilence(frame, !readOk);
            return Fail(transport);
        }
        if (verdict == FRAME_ACK) {
            acked += frameSize;
            rejects = 0;
            pos += frameSize;
            ++frameIndex;
            continue;
        }
        answers[rejects] = verdict;
        if (++rejects == kMaxSends) {
            std::printf("\nCRC error. File damaged.\n");
            ExplainRejections(frame, answers);
            return Fail(transport);
        }
    }

    progress.Finish();
    transport.Close();
    std::printf("Target updated successfully.\n");
    return 0;
}

}  // namespace fwsend
