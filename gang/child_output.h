#pragma once
// What a fwsend child says, read from its byte streams as they come, in
// pieces of any size: standard output split at '\r' and '\n' into the
// progress redraws and the message lines; standard error into its reason
// lines ("fwsend: ...").

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwsend::gang {

class ChildOutput {
public:
    // Each redraw of the progress line, with the percentage it shows.
    struct Redraw {
        int percent;
    };

    // Takes the next piece of standard output; the redraws completed in it
    // are appended to redraws.
    void TakeOutput(std::string_view bytes, std::vector<Redraw>& redraws);
    // Takes the next piece of standard error.
    void TakeErrors(std::string_view bytes);
    // Both streams ended: a last line without its line end still counts.
    void Finish(std::vector<Redraw>& redraws);

    // The last line that is neither the banner, the connection line nor
    // progress: the verdict ("Target updated successfully.", "Failed: ...",
    // "Error: ...", "CRC error. File damaged.").
    const std::string& Message() const { return message_; }
    // The standard-error lines, joined by "; ".
    std::string Reason() const;
    // The frame fwsend named in a reason ("fwsend: frame 12 (offset ..."), if any.
    std::optional<int> FailedFrame() const { return failedFrame_; }
    // Whether fwsend drew the line at 100 %: it sent every frame.
    bool Completed() const { return completed_; }

private:
    void TakeOutputLine(std::vector<Redraw>& redraws);
    void TakeErrorLine();

    std::string outputLine_;
    bool outputLineTaken_ = false;  // a redraw already counted before its line ended
    std::string errorLine_;
    std::string message_;
    std::vector<std::string> reasons_;
    std::size_t reasonBytes_ = 0;
    std::optional<int> failedFrame_;
    bool completed_ = false;
};

}  // namespace fwsend::gang
