#include "gang/slot_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "gang/board_options.h"
#include "gang/shell_words.h"

namespace fwsend::gang {

namespace {

// One line's board, or the reason it is none.
std::optional<Board> ParseSlotLine(const std::vector<std::string>& words, std::string* error) {
    const std::string& slot = words.front();
    if (slot.front() == '-') {
        *error = "the line starts with '" + slot + "', not with a slot name";
        return std::nullopt;
    }
    const std::vector<std::string> optionWords(words.begin() + 1, words.end());
    const auto boards = SplitBoards(optionWords, error);
    if (!boards) return std::nullopt;
    if (boards->size() != 1) {
        *error = boards->empty() ? "slot " + slot + " names no device"
                                 : "slot " + slot + " names " + std::to_string(boards->size()) +
                                       " boards; give each its own line";
        return std::nullopt;
    }
    const auto device = ReadBoardOptions(boards->front(), error);
    if (!device) return std::nullopt;
    return Board{slot, boards->front(), *device};
}

}  // namespace

std::optional<std::vector<Board>> ParseSlotText(std::string_view text, const std::string& name,
                                                std::string* error) {
    std::vector<Board> boards;
    std::set<std::string> slots;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        std::string problem;
        const auto words = SplitShellWords(line, &problem);
        std::optional<Board> board;
        if (words && words->empty()) continue;
        if (words) board = ParseSlotLine(*words, &problem);
        if (board && !slots.insert(board->slot).second) problem = "slot " + board->slot + " is named twice";
        if (!board || !problem.empty()) {
            if (error) *error = name + ":" + std::to_string(lineNumber) + ": " + problem;
            return std::nullopt;
        }
        boards.push_back(std::move(*board));
    }
    if (boards.empty()) {
        if (error) *error = name + ": names no slot";
        return std::nullopt;
    }
    return boards;
}

std::optional<std::vector<Board>> ReadSlotFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        if (error) *error = path + ": could not be read";
        return std::nullopt;
    }
    return ParseSlotText(text, path, error);
}

}  // namespace fwsend::gang
