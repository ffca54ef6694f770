#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One report the gateway accepted for processing.
struct Report {
    std::string id;
    std::string root;                // the root element's local name
    std::string content;             // the signed report as the sender made it
    std::string senderCertDer;       // receipts are encrypted for it
    std::string receivedAt;          // "DD.MM.YYYY HH:MM:SS", local time
    std::string uploadSha256;        // of the encrypted file as it was uploaded
    std::vector<std::string> errors; // non-empty: the fund rejects the report
    int statusRequests = 0;
};

// The reports the gateway knows, kept under STATE/reports/<id>/ so that a restarted
// gateway still answers for reports sent earlier. Thread-safe.
class ReportStore {
public:
    explicit ReportStore(std::string stateDir);

    // Files the report under a new identifier and returns it.
    std::string add(Report report);
    // Another name under which a report is asked for (identifiers of a wrong form).
    void addAlias(const std::string& alias, const std::string& id);
    std::optional<Report> find(const std::string& idOrAlias);
    // Counts one status request; the new count, or -1 for an unknown report.
    int countStatusRequest(const std::string& idOrAlias);

    // Every report received, by identifier: "ID<TAB>upload SHA-256<TAB>content SHA-256
    // <TAB>received at" lines.
    std::string listReceived() const;

    std::optional<std::string> receipt(const std::string& id);
    void keepReceipt(const std::string& id, const std::string& bytes);

private:
    std::string resolve(const std::string& idOrAlias) const;
    std::string folder(const std::string& id) const;
    std::optional<Report> load(const std::string& id) const;
    std::string newIdentifier() const;

    std::string dir_;
    std::mutex mutex_;
    std::map<std::string, Report> reports_;
    std::map<std::string, std::string> aliases_;
};

// True for identifiers this gateway makes: 4-4-4 upper-case hexadecimal digits.
bool isOwnIdentifier(const std::string& id);

} // namespace sim
