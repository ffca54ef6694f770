#pragma once

#include "fund_pki.h"

#include <string>

namespace sim {

// A report as the gateway opened it: the signed content and the sender's certificate.
struct OpenedReport {
    std::string content;
    std::string senderCertDer;
};

// Decrypts an uploaded report (DER enveloped-data for the authorised person) and verifies
// the signed-data inside it with the signer certificate it carries. On failure error holds
// a Russian text for the answer page and detail the library's reason for the log.
bool openReport(const FundPki& pki, const std::string& upload, OpenedReport& report,
                std::string& error, std::string& detail);

// Signs data as the authorised person (the digest of its key, content attached, the
// signer's certificate included) and returns the DER signed-data; empty on failure.
std::string signAsFund(const FundPki& pki, const std::string& data, std::string& detail);

// Encrypts data for the one recipient (GOST 28147-89, CryptoPro-A parameter set) and
// returns the DER enveloped-data; empty on failure.
std::string encryptFor(const std::string& recipientCertDer, const std::string& data,
                       std::string& detail);

} // namespace sim
