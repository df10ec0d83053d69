// Result<T>: a value or one line of human-readable error text.
// Errors are values: every fallible function in Nimbalo returns Result<T>, and the
// outermost caller (console, HTTP, MCP) decides how to show the text. No exception
// crosses a layer. Cheap to move; copying copies the value or the text.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace nimbalo {

struct Error {
    std::string text;
};

inline Error fail(std::string text) { return Error{std::move(text)}; }

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const std::string& error() const { return std::get<1>(v_).text; }
    Error take_error() && { return std::get<1>(std::move(v_)); }

private:
    std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : failed_(true), error_(std::move(error.text)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }
    Error take_error() && { return Error{std::move(error_)}; }

private:
    bool failed_ = false;
    std::string error_;
};

using Status = Result<void>;

}  // namespace nimbalo
