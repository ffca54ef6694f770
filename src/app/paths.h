#pragma once

#include <QString>

namespace telva {

// $XDG_CONFIG_HOME, or ~/.config.
QString configHome();
// $XDG_DATA_HOME, or ~/.local/share; the per-user local application-data folder.
QString dataHome();
// $XDG_STATE_HOME, or ~/.local/state.
QString stateHome();

// State home + "/KVB/TELVA/last-request": when the last gateway request of any run, of the
// window or the terminal program, went out. Empty when there is no state home.
QString lastRequestFile();

// Data home + "/KVB/TELVA/" + mode, created with its parents. Empty when there is no
// data home (no HOME and no XDG_DATA_HOME); nothing is created then.
QString InitArchiveBaseFolder(const QString& activeMode);

} // namespace telva
