#pragma once
// The report's records, one JSON object a line: one per board and round,
// written when the board ends, and one per round, written when its last
// board ends. Device text that is not UTF-8 becomes U+FFFD.
//
// A board's record:
//   {"record":"board","round":1,"slot":"slot1","options":"-COMttyUSB0",
//    "device":"/dev/ttyUSB0","usbId":"0403:6001","usbSerial":"A50285BI",
//    "image":"fw.txt","imageSize":12384,"imageFrames":48,"imageSha256":"…",
//    "start":"2026-12-09T10:04:05.123Z","end":"…","seconds":12.345,
//    "sends":48,"resends":0,"resendsExact":true,"result":"done",
//    "exitStatus":0,"signal":null,"message":"Target updated successfully.","reason":""}
// A round's record:
//   {"record":"round","round":1,"start":"…","end":"…","seconds":12.5,
//    "boards":3,"done":2,"failed":1,"interrupted":false,"image":"fw.txt",
//    "imageSha256":"…"}

#include <memory>
#include <string>

#include "gang/board.h"
#include "gang/board_run.h"
#include "gang/image_facts.h"
#include "gang/report_file.h"

namespace fwsend::gang {

struct RoundSummary {
    int round = 0;
    WallTime start;
    WallTime end;
    double seconds = 0;
    int boards = 0;
    int done = 0;
    int failed = 0;
    bool interrupted = false;
};

std::string BoardRecord(const Board& board, const BoardRun& run, const ImageFacts& image);
std::string RoundRecord(const RoundSummary& round, const ImageFacts& image);

}  // namespace fwsend::gang
