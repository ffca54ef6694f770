#include "request_log.h"

#include <ctime>

namespace sim {

bool RequestLog::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

void RequestLog::line(const std::string& text) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t);
    std::lock_guard lock(mutex_);
    std::FILE* out = file_ ? file_ : stderr;
    std::fprintf(out, "%s %s\n", stamp, text.c_str());
    std::fflush(out);
}

RequestLog::~RequestLog() {
    if (file_)
        std::fclose(file_);
}

} // namespace sim
