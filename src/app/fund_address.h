#pragma once

#include <QString>

namespace telva {

// The address of a path on one of the fund's hosts. A host setting may carry its scheme
// ("https://gate.kvb.example", "https://127.0.0.1:8443"); without one it means plain http,
// as it always has.
QString fundAddress(const QString& host, const QString& path);

} // namespace telva
