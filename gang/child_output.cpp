#include "gang/child_output.h"

#include <cstdio>
#include <cstring>

namespace fwsend::gang {

namespace {

// A line longer than this is no line of fwsend's; the rest of it is dropped.
constexpr std::size_t kLongestLine = 4096;
// Standard error kept for the reason; a child that says more is cut.
constexpr std::size_t kMostReasonBytes = 4096;

constexpr std::string_view kProgress = "Transferring.. ";
constexpr std::string_view kProgressEnd = "% done.";
constexpr std::string_view kCompleted = "Transferring.. 100% done.";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// "Transferring.. - 42% done.": the percentage, or -1 when the text is not
// a whole redraw. A redraw that has ended in "% done." is whole, however
// the bytes were cut: nothing of it follows the number but that.
int RedrawPercent(std::string_view text) {
    if (!StartsWith(text, kProgress) || !EndsWith(text, kProgressEnd)) return -1;
    std::string_view rest = text.substr(kProgress.size());
    if (rest.size() < 3 || rest[1] != ' ') return -1;
    rest.remove_prefix(2);
    rest.remove_suffix(kProgressEnd.size());
    if (rest.empty() || rest.size() > 3) return -1;
    int percent = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') return -1;
        percent = percent * 10 + (c - '0');
    }
    return percent;
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

void Append(std::string& line, char c) {
    if (line.size() < kLongestLine) line += c;
}

}  // namespace

void ChildOutput::TakeOutput(std::string_view bytes, std::vector<Redraw>& redraws) {
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            TakeOutputLine(redraws);
            continue;
        }
        Append(outputLine_, c);
        // A redraw is counted as soon as it is whole, not when the next one
        // begins, so that the display keeps up with the board.
        if (!outputLineTaken_ && c == '.') {
            const int percent = RedrawPercent(outputLine_);
            if (percent >= 0) {
                redraws.push_back({percent});
                outputLineTaken_ = true;
            }
        }
    }
}

void ChildOutput::TakeOutputLine(std::vector<Redraw>& redraws) {
    const std::string_view line = outputLine_;
    if (!outputLineTaken_ && !IsBlank(line)) {
        if (StartsWith(line, kCompleted)) {
            completed_ = true;
        } else if (const int percent = RedrawPercent(line); percent >= 0) {
            redraws.push_back({percent});
        } else if (!StartsWith(line, kProgress) && !StartsWith(line, "fwsend v") &&
                   !StartsWith(line, "Connection with ")) {
            message_ = outputLine_;
        }
    }
    outputLine_.clear();
    outputLineTaken_ = false;
}

void ChildOutput::TakeErrors(std::string_view bytes) {
    for (const char c : bytes) {
        if (c == '\r' || c == '\n')
            TakeErrorLine();
        else
            Append(errorLine_, c);
    }
}

void ChildOutput::TakeErrorLine() {
    if (!IsBlank(errorLine_) && reasonBytes_ < kMostReasonBytes) {
        int frame = -1;
        int matched = 0;
        if (!failedFrame_ &&
            std::sscanf(errorLine_.c_str(), "fwsend: frame %d (offset%n", &frame, &matched) == 1 &&
            matched > 0 && frame >= 0)
            failedFrame_ = frame;
        reasonBytes_ += errorLine_.size();
        reasons_.push_back(errorLine_);
    }
    errorLine_.clear();
}

void ChildOutput::Finish(std::vector<Redraw>& redraws) {
    TakeOutputLine(redraws);
    TakeErrorLine();
}

std::string ChildOutput::Reason() const {
    std::string text;
    for (const std::string& line : reasons_) text += (text.empty() ? "" : "; ") + line;
    return text;
}

}  // namespace fwsend::gang
