#pragma once

#include <string>
#include <vector>

namespace sim {

// What a receipt page tells about an accepted report.
struct ReceiptFacts {
    std::string id;
    std::string kindName;
    std::string sender;
    std::string senderOrg;
    std::string received;
    std::string processed;
    size_t size = 0;
};

// How the identifier span of the upload answer looks.
enum class IdentifierMarkup { Normal, NoTahoma, BothSpans };

// Every page below is UTF-8 unless it says otherwise.
std::string sitePage(bool base64Certs);
std::string uploadIdentifierPage(const std::string& id, IdentifierMarkup markup);
// Angle brackets in the message become blanks: the workstation cuts the text out of the span.
std::string uploadErrorPage(const std::string& message);
std::string statusProcessingPage(const std::string& id, int remaining);
std::string statusAcceptedPage(const std::string& id);
std::string statusRejectedPage(const std::string& id, const std::vector<std::string>& errors);
std::string errorProtocolPage(const std::string& id, const std::vector<std::string>& errors);
std::string plainPage(const std::string& title, const std::string& text);
// The receipt page carried in the receipt archive, in windows-1251 as the fund writes it.
std::string receiptPageCp1251(const ReceiptFacts& facts);

// The XSLT that the accepted-report view refers to (/template/2010/6/r7form.xsl).
std::string reportStylesheet();

std::string htmlEscape(const std::string& text);

} // namespace sim
