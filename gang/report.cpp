#include "gang/report.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "gang/board_options.h"

namespace fwsend::gang {

namespace {

// Keys in the order written, for a reader of the file.
using Json = nlohmann::ordered_json;

Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

template <typename Number>
Json NumberOrNull(const std::optional<Number>& number) {
    return number ? Json(*number) : Json(nullptr);
}

// Milliseconds are all a second's count needs here.
double Rounded(double seconds) { return std::round(seconds * 1000) / 1000; }

std::string Line(const Json& record) {
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string BoardRecord(const Board& board, const BoardRun& run, const ImageFacts& image) {
    const DeviceLocation& location = run.Location();
    const BoardOutcome& outcome = run.Outcome();
    const SendCount count = run.Count();
    Json record = Json::object();
    record["record"] = "board";
    record["round"] = run.Round();
    record["slot"] = board.slot;
    record["options"] = OptionsText(board.options);
    record["device"] = TextOrNull(location.path);
    record["usbId"] = location.entry ? TextOrNull(UsbIdsOf(*location.entry)) : Json(nullptr);
    record["usbSerial"] = location.entry ? TextOrNull(location.entry->serialNumber) : Json(nullptr);
    record["image"] = image.file;
    record["imageSize"] = image.fileBytes;
    record["imageFrames"] = image.frameSizes.size();
    record["imageSha256"] = image.sha256;
    record["start"] = UtcText(run.StartTime(), true);
    record["end"] = UtcText(run.EndTime(), true);
    record["seconds"] = Rounded(run.Seconds());
    record["sends"] = count.sends;
    record["resends"] = count.resends;
    record["resendsExact"] = count.exact;
    record["result"] = outcome.succeeded ? "done" : "failed";
    record["exitStatus"] = NumberOrNull(outcome.exitStatus);
    record["signal"] = NumberOrNull(outcome.signal);
    record["message"] = outcome.message;
    record["reason"] = outcome.reason;
    return Line(record);
}

std::string RoundRecord(const RoundSummary& round, const ImageFacts& image) {
    Json record = Json::object();
    record["record"] = "round";
    record["round"] = round.round;
    record["start"] = UtcText(round.start, true);
    record["end"] = UtcText(round.end, true);
    record["seconds"] = Rounded(round.seconds);
    record["boards"] = round.boards;
    record["done"] = round.done;
    record["failed"] = round.failed;
    record["interrupted"] = round.interrupted;
    record["image"] = image.file;
    record["imageSha256"] = image.sha256;
    return Line(record);
}

}  // namespace fwsend::gang
