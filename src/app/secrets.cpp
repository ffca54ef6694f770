#include "app/secrets.h"

#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>

namespace telva {

void keepCoreDumpsOff() {
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

void wipe(QByteArray& bytes) {
    if (bytes.isDetached())
        explicit_bzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

void wipe(QString& text) {
    if (text.isDetached())
        explicit_bzero(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}

QString takeSecretFromEnvironment(const char* name) {
    char* value = std::getenv(name);
    if (!value)
        return {};
    const QString secret = QString::fromLocal8Bit(value);
    explicit_bzero(value, std::strlen(value));
    unsetenv(name);
    if (!secret.isEmpty())
        keepCoreDumpsOff();
    return secret;
}

} // namespace telva
