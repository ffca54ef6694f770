#pragma once

#include "fund_pki.h"

#include <string>
#include <vector>

namespace sim {

// A fault bound to request paths: "*" for every path, "PREFIX*" for a prefix, else exact.
struct PathRule {
    std::string path;
    int value = 0;  // milliseconds for delays, the HTTP status for failures and redirects
    int count = -1; // how many requests it applies to; -1 for all
    bool matches(const std::string& requestPath) const;
};

enum class IdentifierForm { Normal, Short, NoHyphens, Hostile, Long, NoTahoma, BothSpans };

struct Options {
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string stateDir;
    std::string logFile;
    int processingPolls = 1;
    bool rejectAll = false;
    bool gost2012 = false;
    bool tls = false;    // HTTPS instead of HTTP
    bool tlsRsa = false; // with an RSA server certificate instead of a GOST one
    bool base64Certs = false;
    bool requireCookie = false;
    bool statusCp1251 = false;
    long truncateReceipt = -1;
    long truncateZip = -1;
    IdentifierForm identifierForm = IdentifierForm::Normal;
    std::vector<PathRule> delays;
    std::vector<PathRule> failures;
    std::vector<PathRule> redirects;
    std::string issuePersonalDir;
    PersonalSubject personal;
    bool listReceived = false;
    bool help = false;
};

// Reads the command line; false with a text in error when it cannot be understood.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
std::string helpText();

} // namespace sim
