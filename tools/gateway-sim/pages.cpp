#include "pages.h"

#include "ossl_util.h"

namespace sim {

namespace {

const char* const kStyle = "body { font-family: Tahoma, sans-serif; font-size: 10pt; }";

std::string page(const std::string& title, const std::string& body,
                 const std::string& charset = "utf-8") {
    return "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta http-equiv=\"Content-Type\" "
           "content=\"text/html; charset=" +
           charset + "\">\n<title>" + htmlEscape(title) + "</title>\n<style>" + kStyle +
           "</style>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

std::string errorList(const std::vector<std::string>& errors) {
    std::string list = "<ol>\n";
    for (const std::string& e : errors)
        list += "<li>" + htmlEscape(e) + "</li>\n";
    return list + "</ol>\n";
}

} // namespace

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string sitePage(bool base64Certs) {
    const std::string form = base64Certs ? " (Base64)" : " (DER)";
    return page("КВБ — демонстрационный сайт",
                "<h1>Демонстрационный сайт КВБ</h1>\n"
                "<p>Учебный шлюз приема отчетности. Настоящие отчеты сюда не отправляйте.</p>\n"
                "<ul>\n<li><a href=\"/uc/CA_KVB_RF_2012.cer\">Корневой сертификат КВБ</a>" +
                    form +
                    "</li>\n<li><a href=\"/uc/R7_KVB_RF_2012.cer\">Сертификат уполномоченного "
                    "лица КВБ</a>" +
                    form + "</li>\n</ul>\n");
}

std::string uploadIdentifierPage(const std::string& id, IdentifierMarkup markup) {
    const std::string style = markup == IdentifierMarkup::NoTahoma
                                  ? "font-weight: bold"
                                  : "font-weight: bold; font-family: Tahoma";
    std::string body = "<h2>Шлюз приема отчетности КВБ</h2>\n<p>Отчет принят к обработке. "
                       "Идентификатор отчета: <span id=\"identifier\" class=\"ident\" "
                       "style=\"" +
                       style + "\">" + htmlEscape(id) + "</span></p>\n";
    if (markup == IdentifierMarkup::BothSpans)
        body += "<p><span id=\"error\">Предупреждение: отчет будет обработан позже "
                "обычного.</span></p>\n";
    return page("Отчет принят", body);
}

std::string uploadErrorPage(const std::string& message) {
    std::string text = message;
    for (char& c : text)
        if (c == '<' || c == '>')
            c = ' ';
    return page("Отчет не принят",
                "<h2>Шлюз приема отчетности КВБ</h2>\n<p>Отчет не принят: <span id=\"error\">" +
                    text + "</span></p>\n");
}

std::string statusProcessingPage(const std::string& id, int remaining) {
    return page("Состояние отчета",
                "<h2>Состояние отчета " + htmlEscape(id) +
                    "</h2>\n<p>Отчет обрабатывается. Повторите запрос позже.</p>\n"
                    "<!-- запросов до окончания обработки: " +
                    std::to_string(remaining) + " -->\n");
}

std::string statusAcceptedPage(const std::string& id) {
    return page("Состояние отчета", "<h2>Состояние отчета " + htmlEscape(id) +
                                        "</h2>\n<p>Отчет успешно обработан и принят.</p>\n"
                                        "<p><a href=\"/invoice?id=" +
                                        htmlEscape(id) + "\">Квитанция о приеме отчета</a></p>\n");
}

std::string statusRejectedPage(const std::string& id, const std::vector<std::string>& errors) {
    return page("Состояние отчета", "<h2>Состояние отчета " + htmlEscape(id) +
                                        "</h2>\n<p>Ошибка: отчет не принят, в нем обнаружены "
                                        "ошибки.</p>\n" +
                                        errorList(errors) + "<p><a href=\"/invoice?fid=" +
                                        htmlEscape(id) + "\">Протокол ошибок</a></p>\n");
}

std::string errorProtocolPage(const std::string& id, const std::vector<std::string>& errors) {
    return page("Протокол ошибок",
                "<h2>Протокол ошибок отчета " + htmlEscape(id) + "</h2>\n" + errorList(errors));
}

std::string plainPage(const std::string& title, const std::string& text) {
    return page(title, "<h2>" + htmlEscape(title) + "</h2>\n<p>" + htmlEscape(text) + "</p>\n");
}

std::string receiptPageCp1251(const ReceiptFacts& f) {
    auto row = [](const std::string& name, const std::string& value) {
        return "<tr><td>" + name + "</td><td><b>" + htmlEscape(value) + "</b></td></tr>\n";
    };
    std::string body = "<h2 style=\"text-align: center\">КВИТАНЦИЯ<br>о приеме отчета</h2>\n"
                       "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\">\n" +
                       row("Идентификатор отчета", f.id) + row("Вид отчета", f.kindName) +
                       row("Отправитель", f.sender) + row("Организация", f.senderOrg) +
                       row("Дата и время получения", f.received) +
                       row("Дата и время обработки", f.processed) +
                       row("Размер файла отчета, байт", std::to_string(f.size)) +
                       "</table>\n<p>Отчет принят. Электронная подпись отправителя "
                       "проверена.</p>\n<p>Уполномоченное лицо КВБ (демонстрационный "
                       "шлюз)</p>\n";
    return toCp1251(page("Квитанция о приеме отчета " + f.id, body, "windows-1251"));
}

} // namespace sim
