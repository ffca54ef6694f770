#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace sim {

// Builds a PKWARE ZIP archive in memory: deflated entries (stored when deflating does not
// pay), one central directory, no extra fields, no ZIP64.
class ZipWriter {
public:
    explicit ZipWriter(std::time_t modified);

    void add(const std::string& name, const std::string& data);
    // The whole archive; the writer can take more entries afterwards.
    std::string finish() const;

private:
    struct Entry {
        std::string name;
        unsigned long crc = 0;
        unsigned method = 0;
        size_t size = 0;
        size_t offset = 0;
        size_t compressedSize = 0;
    };
    std::string header(const Entry& e, bool central) const;

    unsigned dosTime_ = 0;
    unsigned dosDate_ = 0;
    std::vector<Entry> entries_;
    std::string body_;
};

} // namespace sim
