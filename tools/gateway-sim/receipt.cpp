#include "receipt.h"

#include "cms_ops.h"
#include "pages.h"
#include "zip_writer.h"

#include <ctime>

namespace sim {

namespace {

std::string nameEntry(X509_NAME* name, int nid) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return {};
    ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, data);
    if (size < 0)
        return {};
    std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(size));
    OPENSSL_free(utf8);
    return text;
}

std::string localTime(std::time_t when) {
    std::tm t{};
    localtime_r(&when, &t);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &t);
    return text;
}

} // namespace

std::string kindName(const std::string& root) {
    if (root == "R7REPORT")
        return "Форма 7";
    if (root == "R7AREPORT")
        return "Форма 7а";
    if (root == "ROWSET")
        return "Реестр пособий";
    return {};
}

std::string acceptedReport(const Report& report) {
    const std::string& xml = report.content;
    if (report.root != "R7REPORT" || xml.find("<R7REPORT>") != std::string::npos)
        return xml;
    const size_t open = xml.find("<R7REPORT");
    const size_t close = open == std::string::npos ? open : xml.find('>', open);
    if (close == std::string::npos || xml[close - 1] == '/')
        return xml;
    return xml.substr(0, open) + "<R7REPORT>" + xml.substr(close + 1);
}

std::string receiptArchive(const FundPki& pki, const Report& report, long truncateAt,
                           std::string& detail) {
    ReceiptFacts facts;
    facts.id = report.id;
    facts.kindName = kindName(report.root);
    facts.received = report.receivedAt;
    facts.processed = localTime(std::time(nullptr));
    facts.size = report.content.size();
    if (X509Ptr sender = certFromDer(report.senderCertDer)) {
        X509_NAME* subject = X509_get_subject_name(sender.get());
        facts.sender = nameEntry(subject, NID_commonName);
        facts.senderOrg = nameEntry(subject, NID_organizationName);
    }
    const std::string signedReport = signAsFund(pki, acceptedReport(report), detail);
    if (signedReport.empty())
        return {};
    ZipWriter zip(std::time(nullptr));
    zip.add(report.id + ".htm", receiptPageCp1251(facts));
    zip.add(report.id + ".p7m", signedReport);
    std::string archive = zip.finish();
    if (truncateAt >= 0 && static_cast<size_t>(truncateAt) < archive.size())
        archive.resize(static_cast<size_t>(truncateAt));
    return archive;
}

std::string buildReceipt(const FundPki& pki, const Report& report, long truncateZipAt,
                         std::string& detail) {
    const std::string archive = receiptArchive(pki, report, truncateZipAt, detail);
    if (archive.empty())
        return {};
    const std::string signedArchive = signAsFund(pki, archive, detail);
    if (signedArchive.empty())
        return {};
    return encryptFor(report.senderCertDer, signedArchive, detail);
}

} // namespace sim
