#include "zip_writer.h"

#include <zlib.h>

namespace sim {

namespace {

void put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, unsigned long v) {
    put16(out, static_cast<unsigned>(v & 0xFFFF));
    put16(out, static_cast<unsigned>((v >> 16) & 0xFFFF));
}

// Raw deflate (no zlib header), as ZIP method 8 wants it; empty on failure.
std::string deflateRaw(const std::string& data) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return {};
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string();
}

} // namespace

ZipWriter::ZipWriter(std::time_t modified) {
    std::tm t{};
    localtime_r(&modified, &t);
    dosTime_ = static_cast<unsigned>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    dosDate_ = static_cast<unsigned>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
}

void ZipWriter::add(const std::string& name, const std::string& data) {
    Entry e;
    e.name = name;
    e.size = data.size();
    e.crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uInt>(data.size()));
    std::string packed = deflateRaw(data);
    if (!packed.empty() && packed.size() < data.size()) {
        e.method = 8;
    } else {
        packed = data;
    }
    e.compressedSize = packed.size();
    e.offset = body_.size();
    body_ += header(e, false);
    body_ += packed;
    entries_.push_back(e);
}

std::string ZipWriter::header(const Entry& e, bool central) const {
    std::string h;
    put32(h, central ? 0x02014B50 : 0x04034B50);
    if (central)
        put16(h, 20); // version made by
    put16(h, 20);     // version needed to extract
    put16(h, 0);      // flags
    put16(h, e.method);
    put16(h, dosTime_);
    put16(h, dosDate_);
    put32(h, e.crc);
    put32(h, e.compressedSize);
    put32(h, e.size);
    put16(h, static_cast<unsigned>(e.name.size()));
    put16(h, 0); // extra field length
    if (central) {
        put16(h, 0); // comment length
        put16(h, 0); // disk number
        put16(h, 0); // internal attributes
        put32(h, 0); // external attributes
        put32(h, e.offset);
    }
    h += e.name;
    return h;
}

std::string ZipWriter::finish() const {
    std::string out = body_;
    const size_t directoryStart = out.size();
    for (const Entry& e : entries_)
        out += header(e, true);
    const size_t directorySize = out.size() - directoryStart;
    put32(out, 0x06054B50);
    put16(out, 0); // this disk
    put16(out, 0); // disk with the directory
    put16(out, static_cast<unsigned>(entries_.size()));
    put16(out, static_cast<unsigned>(entries_.size()));
    put32(out, directorySize);
    put32(out, directoryStart);
    put16(out, 0); // comment length
    return out;
}

} // namespace sim
