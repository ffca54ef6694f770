#pragma once

#include "crypto/provider_list.h"

#include <optional>

#include <openssl/types.h>

namespace telva::crypto {

// An open context on a backend (a functional reference to its engine), released when
// the object goes.
class ProviderContext {
public:
    explicit ProviderContext(ENGINE* engine) : engine_(engine) {}
    ProviderContext(ProviderContext&& other) noexcept : engine_(other.engine_) {
        other.engine_ = nullptr;
    }
    ProviderContext& operator=(ProviderContext&&) = delete;
    ProviderContext(const ProviderContext&) = delete;
    ~ProviderContext();

    ENGINE* engine() const { return engine_; }

private:
    ENGINE* engine_;
};

// A context on the backend of that name and type, or nothing (reports nothing).
std::optional<ProviderContext> AcquireProviderContext(const QString& name, int type);

} // namespace telva::crypto
