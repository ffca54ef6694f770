#pragma once

#include <QString>
#include <optional>
#include <utility>

namespace telva {

// An error as a value: a readable text and, for failures of platform calls, the code behind it.
struct Error {
    QString text;
    quint32 code = 0;
};

// Success or an error; nothing else crosses a module boundary.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error e) : error_(std::move(e)) {}
    static Status fail(const QString& text, quint32 code = 0) { return Status(Error{text, code}); }

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }
    QString text() const { return error_ ? error_->text : QString(); }

private:
    std::optional<Error> error_;
};

// A value or an error.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Error e) : error_(std::move(e)) {}
    static Result fail(const QString& text, quint32 code = 0) { return Result(Error{text, code}); }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const Error& error() const { return *error_; }
    QString text() const { return error_ ? error_->text : QString(); }
    Status status() const { return ok() ? Status() : Status(*error_); }

private:
    std::optional<T> value_;
    std::optional<Error> error_;
};

} // namespace telva
