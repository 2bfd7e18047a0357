#pragma once
// A transport that plays a scripted target and logs every call the upload
// makes, so tests can check the order of timeouts, reads and writes.

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "transport/com.h"

namespace fwsend {

class ScriptedCom : public Com {
public:
    // Bytes waiting on the line before the first frame.
    std::deque<std::uint8_t> pending;
    // What the target sends after each write, one entry per write; writes
    // beyond the script get no answer.
    std::deque<std::vector<std::uint8_t>> replies;
    // Every read delivers a byte: a target that never stops sending.
    bool babbling = false;
    // Reads fail: the device is gone.
    bool readsFail = false;
    bool openResult = true;

    std::vector<std::string> log;
    std::vector<std::vector<std::uint8_t>> written;
    std::string openedName;
    std::int32_t openedBaud = 0;
    std::uint32_t openedTimeout = 0;
    int closeCalls = 0;

    bool EscapeFunction(std::int32_t) override { return true; }

    bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* bytesRead) override {
        if (readsFail) {
            log.push_back("read-fail");
            return false;
        }
        std::uint32_t got = 0;
        while (got < count && (babbling || !pending.empty())) {
            buffer[got++] = babbling ? 0x55 : pending.front();
            if (!babbling) pending.pop_front();
        }
        log.push_back("R" + std::to_string(got));
        if (bytesRead) *bytesRead = got;
        return true;
    }

    bool Write(const std::uint8_t* buffer, std::uint32_t count) override {
        log.push_back("W" + std::to_string(count));
        written.emplace_back(buffer, buffer + count);
        if (!replies.empty()) {
            for (std::uint8_t b : replies.front()) pending.push_back(b);
            replies.pop_front();
        }
        return true;
    }

    bool Close() override {
        log.push_back("C");
        ++closeCalls;
        return true;
    }
    bool Purge() override { return true; }
    bool SetTimeout(std::uint32_t ms) override {
        log.push_back("T" + std::to_string(ms));
        return true;
    }
    bool GetTimeout(std::uint32_t* ms) override {
        *ms = 0;
        return true;
    }
    bool Open(const char* name, std::int32_t baud, std::uint32_t timeoutMs) override {
        openedName = name;
        openedBaud = baud;
        openedTimeout = timeoutMs;
        log.push_back("O");
        return openResult;
    }
    bool IsOpen() override { return true; }
};

}  // namespace fwsend
