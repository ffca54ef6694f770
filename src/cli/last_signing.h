#pragma once

#include <QString>

namespace telva {

struct AppContext;

// The files of the last successful signing, kept in last-signing.conf in the archive base
// folder (keys In and Out) so that a later "send" can take them.
void saveLastSigning(const AppContext& ctx, const QString& in, const QString& out);
// False when nothing was recorded (or the record lacks a name).
bool loadLastSigning(const AppContext& ctx, QString& in, QString& out);

} // namespace telva
