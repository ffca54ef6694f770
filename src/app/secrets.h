#pragma once

#include <QByteArray>
#include <QString>

namespace telva {

// Passwords and private keys must not outlive their use in places others can read: core
// files, the environment, freed memory.

// Turns core dumps (and ptrace by other processes of the user) off for the rest of the
// process; called as soon as a password or a key is held.
void keepCoreDumpsOff();

// Overwrites the text's own copy and empties it. A copy shared with another object is
// only released: the other holder clears its own.
void wipe(QByteArray& bytes);
void wipe(QString& text);

// The variable's value; the variable is overwritten and removed from the environment, so
// neither children nor a later look at the process find it.
QString takeSecretFromEnvironment(const char* name);

} // namespace telva
