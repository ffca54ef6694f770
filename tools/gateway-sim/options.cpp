#include "options.h"

#include <cstdlib>
#include <map>

namespace sim {

namespace {

bool toInt(const std::string& text, long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

// "[PATH=]VALUE[:COUNT]"; PATH defaults to fallbackPath, VALUE to fallbackValue.
bool parseRule(const std::string& text, const char* fallbackPath, int fallbackValue,
               PathRule& rule) {
    std::string rest = text;
    rule.path = fallbackPath;
    rule.value = fallbackValue;
    const size_t eq = rest.find('=');
    if (eq != std::string::npos) {
        rule.path = rest.substr(0, eq);
        rest = rest.substr(eq + 1);
    } else if (!rest.empty() && (rest[0] == '/' || rest[0] == '*')) {
        rule.path = rest;
        rest.clear();
    }
    long number = 0;
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        if (!toInt(rest.substr(colon + 1), number) || number < 1)
            return false;
        rule.count = static_cast<int>(number);
        rest = rest.substr(0, colon);
    }
    if (!rest.empty()) {
        if (!toInt(rest, number) || number < 0)
            return false;
        rule.value = static_cast<int>(number);
    }
    return !rule.path.empty() && rule.value >= 0;
}

std::string defaultStateDir() {
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s)
        return std::string(s) + "/telva-gateway-sim";
    if (const char* h = std::getenv("HOME"); h && *h)
        return std::string(h) + "/.local/state/telva-gateway-sim";
    return "telva-gateway-sim-state";
}

const std::map<std::string, IdentifierForm> kForms = {
    {"normal", IdentifierForm::Normal},
    {"short", IdentifierForm::Short},
    {"no-hyphens", IdentifierForm::NoHyphens},
    {"hostile", IdentifierForm::Hostile},
    {"long", IdentifierForm::Long},
    {"no-tahoma", IdentifierForm::NoTahoma},
    {"both-spans", IdentifierForm::BothSpans},
};

} // namespace

bool PathRule::matches(const std::string& requestPath) const {
    if (path == "*")
        return true;
    if (path.back() == '*')
        return requestPath.compare(0, path.size() - 1, path, 0, path.size() - 1) == 0;
    return requestPath == path;
}

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    o.stateDir = defaultStateDir();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto next = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        auto number = [&](long& out, long min) {
            return next() && toInt(value, out) && out >= min;
        };
        long n = 0;
        PathRule rule;
        bool ok = true;
        auto text = [&](std::string& out) { return next() && !(out = value).empty(); };
        auto integer = [&](int& out, long min, long max) {
            const bool good = number(n, min) && n <= max;
            if (good)
                out = static_cast<int>(n);
            return good;
        };
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--host") {
            ok = text(o.host);
        } else if (arg == "--port") {
            ok = integer(o.port, 0, 65535);
        } else if (arg == "--state") {
            ok = text(o.stateDir);
        } else if (arg == "--log") {
            ok = text(o.logFile);
        } else if (arg == "--processing") {
            ok = integer(o.processingPolls, 0, 1000000);
        } else if (arg == "--reject-all") {
            o.rejectAll = true;
        } else if (arg == "--gost2012") {
            o.gost2012 = true;
        } else if (arg == "--tls") {
            o.tls = true;
        } else if (arg == "--tls-rsa") {
            o.tls = true;
            o.tlsRsa = true;
        } else if (arg == "--base64-certs") {
            o.base64Certs = true;
        } else if (arg == "--require-cookie") {
            o.requireCookie = true;
        } else if (arg == "--status-cp1251") {
            o.statusCp1251 = true;
        } else if (arg == "--truncate-receipt") {
            ok = number(o.truncateReceipt, 0);
        } else if (arg == "--truncate-zip") {
            ok = number(o.truncateZip, 0);
        } else if (arg == "--identifier") {
            auto it = next() ? kForms.find(value) : kForms.end();
            ok = it != kForms.end();
            if (ok)
                o.identifierForm = it->second;
        } else if (arg == "--delay") {
            ok = next() && parseRule(value, "*", 0, rule);
            o.delays.push_back(rule);
        } else if (arg == "--fail") {
            ok = next() && parseRule(value, "*", 500, rule) && rule.value >= 400;
            o.failures.push_back(rule);
        } else if (arg == "--redirect") {
            ok =
                next() && parseRule(value, "*", 302, rule) && rule.value >= 300 && rule.value < 400;
            o.redirects.push_back(rule);
        } else if (arg == "--list-received") {
            o.listReceived = true;
        } else if (arg == "--issue-personal") {
            ok = text(o.issuePersonalDir);
        } else if (arg == "--personal-name") {
            ok = text(o.personal.commonName);
        } else if (arg == "--personal-org") {
            ok = text(o.personal.organization);
        } else if (arg == "--personal-reg") {
            ok = text(o.personal.registrationNumber);
        } else {
            error = "unknown option: " + arg + " (see --help)";
            return false;
        }
        if (!ok) {
            error = "bad or missing value for " + arg + " (see --help)";
            return false;
        }
    }
    return true;
}

} // namespace sim
