#pragma once

#include "fund_pki.h"
#include "options.h"
#include "report_store.h"
#include "request_log.h"

#include <httplib.h>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// The fund's web site and report gateway: the routes, the fault switches and the log.
class Gateway {
public:
    Gateway(const Options& options, const FundPki& pki, ReportStore& store, RequestLog& log);
    void install(httplib::Server& server);

private:
    using Request = httplib::Request;
    using Response = httplib::Response;

    httplib::Server::HandlerResponse applyFaults(const Request& req, Response& res);
    // True while the rule still applies (its count is not used up); counts this use.
    bool takeRule(std::vector<int>& uses, size_t index, const PathRule& rule);

    void siteRoot(const Request& req, Response& res);
    void certificate(X509* cert, Response& res);
    void upload(const Request& req, Response& res);
    void status(const Request& req, Response& res);
    void invoice(const Request& req, Response& res);
    void answerUploadError(Response& res, const std::string& message, const std::string& detail);
    std::string servedIdentifier(const std::string& id);

    const Options& options_;
    const FundPki& pki_;
    ReportStore& store_;
    RequestLog& log_;
    std::string sessionCookie_;
    std::mutex faultMutex_;
    std::vector<int> delayUses_;
    std::vector<int> failureUses_;
    std::vector<int> redirectUses_;
};

} // namespace sim
