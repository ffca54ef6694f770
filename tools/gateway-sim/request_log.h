#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace sim {

// One line per event with the local time in front; stderr unless a log file is named.
class RequestLog {
public:
    // False when the file cannot be opened for appending.
    bool open(const std::string& path);
    void line(const std::string& text);
    ~RequestLog();

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

} // namespace sim
