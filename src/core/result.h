#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

// The one way the logic fails: an operation gives its value, or a refusal with the text that
// tells the technician what is wrong. The logic never shows a refusal itself; the handler
// that started the operation shows it, once.
namespace core {

// Why an operation did not do what was asked, as one message for the technician.
struct Refusal {
    std::string text;
};

inline Refusal refuse(std::string text) {
    return Refusal{std::move(text)};
}

template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Refusal refusal) : v_(std::in_place_index<1>, std::move(refusal)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    const T& operator*() const { return std::get<0>(v_); }
    T& operator*() { return std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }

    // The value, or nothing when refused.
    std::optional<T> optional() const {
        return ok() ? std::optional<T>(std::get<0>(v_)) : std::nullopt;
    }

    // The refusal's text; empty when ok().
    const std::string& refusal() const {
        static const std::string none;
        return ok() ? none : std::get<1>(v_).text;
    }

private:
    std::variant<T, Refusal> v_;
};

// An operation that gives nothing but its success or its refusal.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Refusal refusal) : refusal_(std::move(refusal.text)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& refusal() const { return refusal_; }

private:
    std::string refusal_;
    bool failed_ = false;
};

using Status = Result<void>;

} // namespace core
