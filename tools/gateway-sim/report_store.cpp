#include "report_store.h"

#include "ossl_util.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <sstream>
#include <sys/stat.h>

#include <openssl/rand.h>

namespace sim {

namespace {

std::string lines(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items)
        out += s + "\n";
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            out.push_back(line);
    return out;
}

} // namespace

bool isOwnIdentifier(const std::string& id) {
    if (id.size() != 14)
        return false;
    for (size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool dash = i == 4 || i == 9;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

ReportStore::ReportStore(std::string stateDir) : dir_(std::move(stateDir) + "/reports") {
    makeDirs(dir_);
}

std::string ReportStore::folder(const std::string& id) const {
    return dir_ + "/" + id;
}

std::string ReportStore::newIdentifier() const {
    for (;;) {
        unsigned char r[6];
        RAND_bytes(r, sizeof r);
        char id[16];
        std::snprintf(id, sizeof id, "%02X%02X-%02X%02X-%02X%02X", r[0], r[1], r[2], r[3], r[4],
                      r[5]);
        struct stat st;
        if (!reports_.count(id) && stat(folder(id).c_str(), &st) != 0)
            return id;
    }
}

std::string ReportStore::add(Report report) {
    std::lock_guard lock(mutex_);
    report.id = newIdentifier();
    const std::string f = folder(report.id);
    makeDirs(f);
    writeFile(f + "/report.xml", report.content);
    writeFile(f + "/sender.cer", report.senderCertDer);
    writeFile(f + "/meta.txt", report.root + "\n" + report.receivedAt + "\n");
    writeFile(f + "/errors.txt", lines(report.errors));
    writeFile(f + "/requests.txt", "0\n");
    writeFile(f + "/upload.sha256", report.uploadSha256 + "\n");
    const std::string id = report.id;
    reports_[id] = std::move(report);
    return id;
}

void ReportStore::addAlias(const std::string& alias, const std::string& id) {
    std::lock_guard lock(mutex_);
    aliases_[alias] = id;
}

std::string ReportStore::resolve(const std::string& idOrAlias) const {
    auto it = aliases_.find(idOrAlias);
    return it != aliases_.end() ? it->second : idOrAlias;
}

std::optional<Report> ReportStore::load(const std::string& id) const {
    // Only names this gateway made reach the disk: a request cannot walk out of the state.
    if (!isOwnIdentifier(id))
        return std::nullopt;
    const std::string f = folder(id);
    Report r;
    r.id = id;
    std::string meta, errors, requests;
    if (!readFile(f + "/report.xml", r.content) || !readFile(f + "/sender.cer", r.senderCertDer) ||
        !readFile(f + "/meta.txt", meta))
        return std::nullopt;
    std::vector<std::string> m = splitLines(meta);
    if (m.size() < 2)
        return std::nullopt;
    r.root = m[0];
    r.receivedAt = m[1];
    if (readFile(f + "/errors.txt", errors))
        r.errors = splitLines(errors);
    if (readFile(f + "/requests.txt", requests))
        r.statusRequests = std::atoi(requests.c_str());
    return r;
}

std::string ReportStore::listReceived() const {
    std::vector<std::string> ids;
    if (DIR* dir = opendir(dir_.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (isOwnIdentifier(entry->d_name))
                ids.emplace_back(entry->d_name);
        closedir(dir);
    }
    std::sort(ids.begin(), ids.end());
    std::string out;
    for (const std::string& id : ids) {
        const std::optional<Report> r = load(id);
        std::string upload;
        if (!r)
            continue;
        readFile(folder(id) + "/upload.sha256", upload);
        upload.erase(std::remove(upload.begin(), upload.end(), '\n'), upload.end());
        out += id + "\t" + upload + "\t" + sha256Hex(r->content) + "\t" + r->receivedAt + "\n";
    }
    return out;
}

std::optional<Report> ReportStore::find(const std::string& idOrAlias) {
    std::lock_guard lock(mutex_);
    const std::string id = resolve(idOrAlias);
    auto it = reports_.find(id);
    if (it != reports_.end())
        return it->second;
    std::optional<Report> r = load(id);
    if (r)
        reports_[id] = *r;
    return r;
}

int ReportStore::countStatusRequest(const std::string& idOrAlias) {
    const std::optional<Report> known = find(idOrAlias);
    if (!known)
        return -1;
    std::lock_guard lock(mutex_);
    Report& r = reports_[known->id];
    ++r.statusRequests;
    writeFile(folder(r.id) + "/requests.txt", std::to_string(r.statusRequests) + "\n");
    return r.statusRequests;
}

std::optional<std::string> ReportStore::receipt(const std::string& id) {
    std::lock_guard lock(mutex_);
    std::string bytes;
    if (!isOwnIdentifier(id) || !readFile(folder(id) + "/receipt.p7e", bytes) || bytes.empty())
        return std::nullopt;
    return bytes;
}

void ReportStore::keepReceipt(const std::string& id, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    if (isOwnIdentifier(id))
        writeFile(folder(id) + "/receipt.p7e", bytes);
}

} // namespace sim
