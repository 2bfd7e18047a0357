#include "gang/shell_words.h"

#include <cstddef>

namespace fwsend::gang {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The character a $'...' escape stands for, or 0 for one that is not known.
char DollarEscape(char c) {
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'e': return '\x1b';
    case 'a': return '\a';
    case '\\': return '\\';
    case '\'': return '\'';
    case '"': return '"';
    default: return 0;
    }
}

class Splitter {
public:
    explicit Splitter(std::string_view line) : line_(line) {}

    std::optional<std::vector<std::string>> Run(std::string* error) {
        std::vector<std::string> words;
        while (SkipBlanks()) {
            if (line_[at_] == '#') break;
            std::string word;
            if (!ReadWord(word)) {
                if (error) *error = error_;
                return std::nullopt;
            }
            words.push_back(std::move(word));
        }
        return words;
    }

private:
    bool SkipBlanks() {
        while (at_ < line_.size() && IsBlank(line_[at_])) ++at_;
        return at_ < line_.size();
    }

    bool Fail(const char* what) {
        error_ = what;
        return false;
    }

    bool ReadWord(std::string& word) {
        while (at_ < line_.size() && !IsBlank(line_[at_])) {
            const char c = line_[at_++];
            bool ok = true;
            if (c == '\'') {
                ok = ReadSingleQuoted(word);
            } else if (c == '"') {
                ok = ReadDoubleQuoted(word);
            } else if (c == '$' && at_ < line_.size() && line_[at_] == '\'') {
                ++at_;
                ok = ReadDollarQuoted(word);
            } else if (c == '\\') {
                if (at_ == line_.size()) return Fail("a backslash at the end of the line");
                word += line_[at_++];
            } else {
                word += c;
            }
            if (!ok) return false;
        }
        return true;
    }

    bool ReadSingleQuoted(std::string& word) {
        const std::size_t end = line_.find('\'', at_);
        if (end == std::string_view::npos) return Fail("a ' quote is not closed");
        word.append(line_.substr(at_, end - at_));
        at_ = end + 1;
        return true;
    }

    bool ReadDoubleQuoted(std::string& word) {
        while (at_ < line_.size()) {
            const char c = line_[at_++];
            if (c == '"') return true;
            if (c == '\\' && at_ < line_.size()) {
                const char next = line_[at_];
                if (next == '"' || next == '\\' || next == '$' || next == '`') {
                    word += next;
                    ++at_;
                    continue;
                }
            }
            word += c;
        }
        return Fail("a \" quote is not closed");
    }

    bool ReadDollarQuoted(std::string& word) {
        while (at_ < line_.size()) {
            const char c = line_[at_++];
            if (c == '\'') return true;
            if (c != '\\') {
                word += c;
                continue;
            }
            if (at_ == line_.size()) break;
            const char kind = line_[at_++];
            if (kind == 'x') {
                int value = 0;
                int digits = 0;
                for (int h; digits < 2 && at_ < line_.size() && (h = HexValue(line_[at_])) >= 0;
                     ++digits, ++at_)
                    value = value * 16 + h;
                if (digits == 0) return Fail("\\x without hexadecimal digits in $'...'");
                word += static_cast<char>(value);
            } else if (const char escaped = DollarEscape(kind)) {
                word += escaped;
            } else {
                word += '\\';
                word += kind;
            }
        }
        return Fail("a $' quote is not closed");
    }

    std::string_view line_;
    std::size_t at_ = 0;
    const char* error_ = "";
};

}  // namespace

std::optional<std::vector<std::string>> SplitShellWords(std::string_view line, std::string* error) {
    return Splitter(line).Run(error);
}

}  // namespace fwsend::gang
