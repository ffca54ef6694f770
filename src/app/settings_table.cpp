#include "app/settings_table.h"

#include "app/settings.h"

namespace telva {

namespace {

Status setInteger(int& target, const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        return Status::fail(invalidIntegerText(text));
    target = value;
    return {};
}

Status setFlag(bool& target, const QString& text) {
    int value = 0;
    const Status parsed = setInteger(value, text);
    if (parsed)
        target = value != 0;
    return parsed;
}

} // namespace

// The accessors are spelled out through these so that each row stays one line.
#define TELVA_TEXT(member)                                                                         \
    [](const Settings& s) { return s.member; }, [](Settings& s, const QString& v) {                \
        s.member = v;                                                                              \
        return Status();                                                                           \
    }
#define TELVA_INTEGER(member)                                                                      \
    [](const Settings& s) { return QString::number(s.member); },                                   \
        [](Settings& s, const QString& v) { return setInteger(s.member, v); }

std::span<const SettingEntry> settingsTable() {
    using enum SettingsFile;
    using enum SettingType;
    static const SettingEntry table[] = {
        {"ActiveMode", Global, ModeName, false, "R7", nullptr, TELVA_TEXT(activeMode)},
        {"KVBRootCertUrl", Global, Text, true, nullptr, defaultKvbRootCertUrl,
         TELVA_TEXT(kvbRootCertUrl)},
        {"ProvName", Global, Text, false, "", nullptr, TELVA_TEXT(provName)},
        {"ProvType", Global, Integer, false, "0", nullptr, TELVA_INTEGER(provType)},
        {"Left", Global, Integer, false, "956", nullptr, TELVA_INTEGER(left)},
        {"Top", Global, Integer, false, "214", nullptr, TELVA_INTEGER(top)},
        {"Height", Global, Integer, false, "314", nullptr, TELVA_INTEGER(height)},
        {"Width", Global, Integer, false, "775", nullptr, TELVA_INTEGER(width)},
        {"proxy", Global, HostPort, false, ":0", nullptr,
         [](const Settings& s) { return s.proxy.host + ':' + QString::number(s.proxy.port); },
         [](Settings& s, const QString& v) {
             return SplitHostPort(v, s.proxy.host, s.proxy.port);
         }},
        {"proxy_user", Global, Text, false, "", nullptr, TELVA_TEXT(proxy.user)},
        {"AutoRefresh", Global, Flag, false, "1", nullptr,
         [](const Settings& s) { return QString::number(s.autoRefresh ? 1 : 0); },
         [](Settings& s, const QString& v) { return setFlag(s.autoRefresh, v); }},
        {"KVBSiteHost", Global, Text, false, "www.kvb.example", nullptr, TELVA_TEXT(hosts.kvbSite)},
        {"GateHost", Global, Text, false, "gate.kvb.example", nullptr, TELVA_TEXT(hosts.gate)},
        {"DocGateHost", Global, Text, false, "docs.kvb.example", nullptr,
         TELVA_TEXT(hosts.docGate)},
        {"TestGateHost", Global, Text, false, "test-gate.kvb.example", nullptr,
         TELVA_TEXT(hosts.testGate)},
        {"StyleHost", Global, Text, false, "www.kvb.example", nullptr, TELVA_TEXT(hosts.style)},
        {"SrcExt", Mode, Text, false, "xml", nullptr, TELVA_TEXT(srcExt)},
        {"EncExt", Mode, Text, false, "er7", nullptr, TELVA_TEXT(encExt)},
        {"KvitExt", Mode, Text, false, "p7e", nullptr, TELVA_TEXT(kvitExt)},
        {"APCertURL", Mode, Text, true, nullptr, defaultApCertUrl, TELVA_TEXT(apCertUrl)},
        {"GateSendURL", Mode, Text, true, nullptr, defaultGateSendUrl, TELVA_TEXT(gateSendUrl)},
        {"GateInfoURL", Mode, Text, false, nullptr, defaultGateInfoUrl, TELVA_TEXT(gateInfoUrl)},
        {"GateLoadURL", Mode, Text, false, nullptr, defaultGateLoadUrl, TELVA_TEXT(gateLoadUrl)},
        {"PrivSubject", Mode, Text, false, "", nullptr, TELVA_TEXT(priv.subject)},
        {"PrivOrg", Mode, Text, false, "", nullptr, TELVA_TEXT(priv.org)},
        {"PrivIssuer", Mode, Text, false, "", nullptr, TELVA_TEXT(priv.issuer)},
        {"PrivSernum", Mode, Text, false, "", nullptr, TELVA_TEXT(priv.sernum)},
        {"PrivStore", Mode, Integer, false, "0", nullptr, TELVA_INTEGER(priv.store)},
        {"PubSubject", Mode, Text, false, "", nullptr, TELVA_TEXT(pub.subject)},
        {"PubOrg", Mode, Text, false, "", nullptr, TELVA_TEXT(pub.org)},
        {"PubIssuer", Mode, Text, false, "", nullptr, TELVA_TEXT(pub.issuer)},
        {"PubSernum", Mode, Text, false, "", nullptr, TELVA_TEXT(pub.sernum)},
        {"PubStore", Mode, Integer, false, "7", nullptr, TELVA_INTEGER(pub.store)},
    };
    return table;
}

#undef TELVA_TEXT
#undef TELVA_INTEGER

QString settingsListing(const Settings& settings) {
    QString listing;
    for (const SettingEntry& entry : settingsTable())
        listing += QLatin1String(entry.name) + '=' + entry.get(settings) + '\n';
    return listing;
}

} // namespace telva
