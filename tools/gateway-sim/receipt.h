#pragma once

#include "fund_pki.h"
#include "report_store.h"

#include <string>

namespace sim {

// The display name of a report kind by its root element's local name; empty if unknown.
std::string kindName(const std::string& root);

// The fund's copy of the accepted report: the report as sent, except that an R7REPORT root
// with attributes gets a bare <R7REPORT> opening tag, the marker the accepted-report view
// looks for.
std::string acceptedReport(const Report& report);

// The receipt archive: <id>.htm (the receipt page) and <id>.p7m (the accepted report signed
// by the fund). truncateAt >= 0 cuts the archive to that many bytes before it is signed.
std::string receiptArchive(const FundPki& pki, const Report& report, long truncateAt,
                           std::string& detail);

// The receipt as the gateway serves it: the archive signed by the authorised person and
// encrypted for the sender's certificate; empty on failure with the reason in detail.
std::string buildReceipt(const FundPki& pki, const Report& report, long truncateZipAt,
                         std::string& detail);

} // namespace sim
