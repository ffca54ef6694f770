#pragma once

#include <QString>
#include <optional>
#include <utility>

namespace telva {

// What a failure was, where a caller does more than show its text.
enum class ErrorKind : quint8 {
    Failed,         // the network, the server's answer, a file: the text says which
    Unreachable,    // the server or the proxy was never reached (name, refused, no connection)
    ServerFault,    // the server, or an intermediary for it, answered with a 5xx status
    Stopped,        // a limit of the program stopped it (an answer too large or too slow)
    Cancelled,      // the person cancelled
    Tls,            // the secure connection or the server's certificate failed
    MayHaveArrived, // a report went out whole and its answer was lost
};

// An error as a value: a readable text and, for failures of platform calls, the code behind it.
struct Error {
    explicit Error(QString readable = {}, quint32 platformCode = 0,
                   ErrorKind what = ErrorKind::Failed)
        : text(std::move(readable)), code(platformCode), kind(what) {}

    QString text;
    quint32 code = 0;
    ErrorKind kind = ErrorKind::Failed;
    // The failure behind a text that names only its consequence ("Ошибка загрузки."), for the
    // terminal and the journal; empty when the text says it all.
    QString cause;

    // Stopped on purpose (a limit, the person, a refused certificate) or after a report went
    // out, rather than failed by the network or the server: its text is shown as it is.
    bool stopped() const {
        return kind == ErrorKind::Stopped || kind == ErrorKind::Cancelled ||
               kind == ErrorKind::Tls || kind == ErrorKind::MayHaveArrived;
    }
};

// Success or an error; nothing else crosses a module boundary.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error e) : error_(std::move(e)) {}
    static Status fail(const QString& text, quint32 code = 0) { return Status(Error{text, code}); }
    static Status fail(const QString& text, ErrorKind kind) { return Status(Error{text, 0, kind}); }

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }
    QString text() const { return error_ ? error_->text : QString(); }
    ErrorKind kind() const { return error_ ? error_->kind : ErrorKind::Failed; }

private:
    std::optional<Error> error_;
};

// A value or an error.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Error e) : error_(std::move(e)) {}
    static Result fail(const QString& text, quint32 code = 0) { return Result(Error{text, code}); }
    static Result fail(const QString& text, ErrorKind kind) { return Result(Error{text, 0, kind}); }

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
    ErrorKind kind() const { return error_ ? error_->kind : ErrorKind::Failed; }
    Status status() const { return ok() ? Status() : Status(*error_); }

private:
    std::optional<T> value_;
    std::optional<Error> error_;
};

} // namespace telva
