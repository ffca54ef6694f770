#include "gateway.h"

#include "cms_ops.h"
#include "ossl_util.h"
#include "pages.h"
#include "receipt.h"
#include "xml_root.h"

#include <chrono>
#include <ctime>
#include <thread>

#include <openssl/rand.h>

namespace sim {

namespace {

using HandlerResponse = httplib::Server::HandlerResponse;

const char* const kHtml = "text/html; charset=utf-8";
const char* const kCookieName = "KVBSESSION";
// Requests under this prefix are the targets of redirects and are served like the rest.
const std::string kMoved = "/moved";

std::string stripMoved(const std::string& path) {
    return path.rfind(kMoved + "/", 0) == 0 ? path.substr(kMoved.size()) : path;
}

std::string randomHex(size_t bytes) {
    std::string raw(bytes, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(bytes));
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : raw) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string nowText() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &t);
    return text;
}

void sendPage(httplib::Response& res, int status, const std::string& html) {
    res.status = status;
    res.set_content(html, kHtml);
}

} // namespace

Gateway::Gateway(const Options& options, const FundPki& pki, ReportStore& store, RequestLog& log)
    : options_(options), pki_(pki), store_(store), log_(log), sessionCookie_(randomHex(16)),
      delayUses_(options.delays.size()), failureUses_(options.failures.size()),
      redirectUses_(options.redirects.size()) {}

void Gateway::install(httplib::Server& server) {
    server.set_pre_routing_handler(
        [this](const Request& req, Response& res) { return applyFaults(req, res); });
    server.Get("(?:/moved)?/", [this](const Request& req, Response& res) { siteRoot(req, res); });
    server.Get("(?:/moved)?/uc/CA_KVB_RF_2012.cer",
               [this](const Request&, Response& res) { certificate(pki_.rootCert(), res); });
    server.Get("(?:/moved)?/uc/R7_KVB_RF_2012.cer",
               [this](const Request&, Response& res) { certificate(pki_.apCert(), res); });
    server.Get("(?:/moved)?/template/2010/6/r7form.xsl", [](const Request&, Response& res) {
        res.set_content(reportStylesheet(), "text/xsl; charset=utf-8");
    });
    server.Post("(?:/moved)?/uploadfile",
                [this](const Request& req, Response& res) { upload(req, res); });
    server.Get("(?:/moved)?/kvb/statusreport",
               [this](const Request& req, Response& res) { status(req, res); });
    server.Get("(?:/moved)?/invoice",
               [this](const Request& req, Response& res) { invoice(req, res); });
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const Request&, Response& res) {
            if (!res.body.empty())
                return HandlerResponse::Unhandled;
            sendPage(res, res.status,
                     plainPage("Страница не найдена", "Запрошенная страница не существует."));
            return HandlerResponse::Handled;
        }));
    server.set_logger([this](const Request& req, const Response& res) {
        log_.line(req.method + " " + req.target + " -> " + std::to_string(res.status) + " (" +
                  std::to_string(res.body.size()) + " bytes, Host: " +
                  req.get_header_value("Host") + ", from " + req.remote_addr + ")");
    });
}

bool Gateway::takeRule(std::vector<int>& uses, size_t index, const PathRule& rule) {
    if (rule.count >= 0 && uses[index] >= rule.count)
        return false;
    ++uses[index];
    return true;
}

HandlerResponse Gateway::applyFaults(const Request& req, Response& res) {
    const std::string path = stripMoved(req.path);
    int delayMs = 0;
    int failure = 0;
    int redirect = 0;
    {
        std::lock_guard lock(faultMutex_);
        for (size_t i = 0; i < options_.delays.size(); ++i)
            if (options_.delays[i].matches(path) && takeRule(delayUses_, i, options_.delays[i]))
                delayMs += options_.delays[i].value;
        for (size_t i = 0; i < options_.failures.size() && !failure; ++i)
            if (options_.failures[i].matches(path) &&
                takeRule(failureUses_, i, options_.failures[i]))
                failure = options_.failures[i].value;
        // A request that already followed a redirect is served, or it would loop.
        for (size_t i = 0; i < options_.redirects.size() && !redirect && path == req.path; ++i)
            if (options_.redirects[i].matches(path) &&
                takeRule(redirectUses_, i, options_.redirects[i]))
                redirect = options_.redirects[i].value;
    }
    if (delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));

    const bool open = path == "/" || path.rfind("/uc/", 0) == 0;
    if (options_.requireCookie && !open &&
        req.get_header_value("Cookie").find(std::string(kCookieName) + "=" + sessionCookie_) ==
            std::string::npos) {
        log_.line("refused " + req.target + ": no session cookie (open the site root first)");
        sendPage(res, 403,
                 plainPage("Доступ запрещен", "Сеанс не открыт: откройте главную страницу "
                                              "сайта КВБ и повторите запрос."));
        return HandlerResponse::Handled;
    }
    if (failure) {
        sendPage(res, failure,
                 plainPage("Сбой сервера", "Сервер временно не может обработать запрос (код " +
                                               std::to_string(failure) + ")."));
        return HandlerResponse::Handled;
    }
    if (redirect) {
        res.status = redirect;
        res.set_header("Location", std::string(options_.tls ? "https://" : "http://") +
                                       req.get_header_value("Host") + kMoved + req.target);
        res.set_content(plainPage("Страница перемещена", "Страница перемещена."), kHtml);
        return HandlerResponse::Handled;
    }
    return HandlerResponse::Unhandled;
}

void Gateway::siteRoot(const Request&, Response& res) {
    if (options_.requireCookie)
        res.set_header("Set-Cookie", std::string(kCookieName) + "=" + sessionCookie_ + "; Path=/");
    sendPage(res, 200, sitePage(options_.base64Certs));
}

void Gateway::certificate(X509* cert, Response& res) {
    const std::string der = certToDer(cert);
    if (options_.base64Certs) {
        res.set_content("-----BEGIN CERTIFICATE-----\r\n" + base64Lines(der) +
                            "-----END CERTIFICATE-----\r\n",
                        "application/x-x509-ca-cert");
    } else {
        res.set_content(der, "application/x-x509-ca-cert");
    }
}

void Gateway::answerUploadError(Response& res, const std::string& message,
                                const std::string& detail) {
    log_.line("upload refused: " + message + (detail.empty() ? "" : " [" + detail + "]"));
    sendPage(res, 200, uploadErrorPage(message));
}

std::string Gateway::servedIdentifier(const std::string& id) {
    std::string served;
    switch (options_.identifierForm) {
    case IdentifierForm::Short:
        served = id.substr(0, 4) + id.substr(5, 4);
        break;
    case IdentifierForm::NoHyphens:
        served = id.substr(0, 4) + id.substr(5, 4) + id.substr(10);
        break;
    case IdentifierForm::Hostile:
        served = "../.-../.-../../" + id;
        break;
    case IdentifierForm::Long:
        served = id + "-" + std::string(120, 'X');
        break;
    default:
        return id;
    }
    store_.addAlias(served, id);
    return served;
}

void Gateway::upload(const Request& req, Response& res) {
    if (!req.has_file("filein")) {
        answerUploadError(res, "В запросе нет файла отчета (поле filein).", "");
        return;
    }
    const httplib::MultipartFormData file = req.get_file_value("filein");
    log_.line("upload: file \"" + file.filename + "\", " + std::to_string(file.content.size()) +
              " bytes, service=" + req.get_file_value("service").content +
              ", inline=" + req.get_file_value("inline").content);
    OpenedReport opened;
    std::string error, detail;
    if (!openReport(pki_, file.content, opened, error, detail)) {
        answerUploadError(res, error, detail);
        return;
    }
    Report report;
    report.root = localName(rootElementName(opened.content));
    if (kindName(report.root).empty()) {
        answerUploadError(res,
                          "Неизвестный вид отчета: корневой элемент \"" + report.root +
                              "\". Ожидается R7REPORT, R7AREPORT или ROWSET.",
                          "");
        return;
    }
    report.uploadSha256 = sha256Hex(file.content);
    report.content = std::move(opened.content);
    report.senderCertDer = std::move(opened.senderCertDer);
    report.receivedAt = nowText();
    if (options_.rejectAll)
        report.errors.push_back("Шлюз настроен отклонять все отчеты (--reject-all).");
    if (report.content.find("SIM-REJECT") != std::string::npos)
        report.errors.push_back("Отчет содержит отметку SIM-REJECT: в сведениях о "
                                "застрахованных лицах обнаружены ошибки.");
    const std::string id = store_.add(std::move(report));
    const std::string served = servedIdentifier(id);
    log_.line("upload accepted: report " + id + (served != id ? " served as " + served : ""));
    const IdentifierMarkup markup =
        options_.identifierForm == IdentifierForm::NoTahoma    ? IdentifierMarkup::NoTahoma
        : options_.identifierForm == IdentifierForm::BothSpans ? IdentifierMarkup::BothSpans
                                                               : IdentifierMarkup::Normal;
    sendPage(res, 200, uploadIdentifierPage(served, markup));
}

void Gateway::status(const Request& req, Response& res) {
    const std::string id = req.get_param_value("id");
    const int requests = store_.countStatusRequest(id);
    const std::optional<Report> report = requests < 0 ? std::nullopt : store_.find(id);
    if (!report) {
        sendPage(res, 404,
                 plainPage("Отчет не найден", "Отчет с таким идентификатором не "
                                              "поступал на шлюз."));
        return;
    }
    std::string page;
    if (requests <= options_.processingPolls)
        page = statusProcessingPage(report->id, options_.processingPolls - requests + 1);
    else if (!report->errors.empty())
        page = statusRejectedPage(report->id, report->errors);
    else
        page = statusAcceptedPage(report->id);
    if (options_.statusCp1251) {
        res.set_content(toCp1251(page), "text/html; charset=windows-1251");
        return;
    }
    sendPage(res, 200, page);
}

void Gateway::invoice(const Request& req, Response& res) {
    const bool protocol = req.has_param("fid");
    const std::optional<Report> report = store_.find(req.get_param_value(protocol ? "fid" : "id"));
    const bool processed = report && report->statusRequests > options_.processingPolls;
    if (protocol && processed && !report->errors.empty()) {
        sendPage(res, 200, errorProtocolPage(report->id, report->errors));
        return;
    }
    if (protocol || !processed || !report->errors.empty()) {
        sendPage(res, 404,
                 plainPage("Квитанция не найдена",
                           "Квитанции по этому отчету нет или она еще не готова."));
        return;
    }
    std::optional<std::string> receipt =
        options_.truncateZip < 0 ? store_.receipt(report->id) : std::nullopt;
    if (!receipt) {
        std::string detail;
        std::string made = buildReceipt(pki_, *report, options_.truncateZip, detail);
        if (made.empty()) {
            log_.line("receipt for " + report->id + " failed: " + detail);
            sendPage(res, 500, plainPage("Сбой сервера", "Не удалось сформировать квитанцию."));
            return;
        }
        if (options_.truncateZip < 0)
            store_.keepReceipt(report->id, made);
        receipt = std::move(made);
    }
    if (options_.truncateReceipt >= 0 &&
        static_cast<size_t>(options_.truncateReceipt) < receipt->size())
        receipt->resize(static_cast<size_t>(options_.truncateReceipt));
    res.set_header("Content-Disposition", "attachment; filename=\"" + report->id + ".p7e\"");
    res.set_content(*receipt, "application/octet-stream");
}

} // namespace sim
