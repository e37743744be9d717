#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// The one way the logic fails: an operation gives its value, or a refusal with the text that
// tells the technician what is wrong. The logic never shows a refusal itself; the handler
// that started the operation shows it, once.
namespace core {

// What kind of failure a refusal is: what a front end tells from it (the command line's exit
// code) without reading its text.
enum class Kind {
    Input,     // an argument, a box or a file was refused before anything reached the card
    Card,      // the card or the driver failed (status: its 16-bit status, when it gave one)
    File,      // a file could not be written after the card was worked on
    Tolerance, // the calibration finished, but an end point is outside its limits
    Stopped,   // a stop was asked for (STOP, Ctrl-C) and the work ended at a yield
    Busy,      // the board is held by another program
    History,   // the calibration history could not keep the record of an EEPROM change
};

// Why an operation did not do what was asked, as one message for the technician, with its
// kind.
struct Refusal {
    std::string text;
    Kind kind = Kind::Input;
    std::int16_t status = 0; // the driver's status of a Kind::Card failure, 0 when none
};

inline Refusal refuse(std::string text) {
    return Refusal{std::move(text)};
}

inline Refusal refuse(Kind kind, std::string text, std::int16_t status = 0) {
    return Refusal{std::move(text), kind, status};
}

// The same failure told with another text, keeping its kind and status.
inline Refusal reword(const Refusal& r, std::string text) {
    return Refusal{std::move(text), r.kind, r.status};
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
    // The refusal with its kind; only when !ok().
    const Refusal& failure() const { return std::get<1>(v_); }
    Kind kind() const { return failure().kind; }

private:
    std::variant<T, Refusal> v_;
};

// An operation that gives nothing but its success or its refusal.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Refusal refusal) : refusal_(std::move(refusal)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& refusal() const { return refusal_.text; }
    // The refusal with its kind; only meaningful when !ok().
    const Refusal& failure() const { return refusal_; }
    Kind kind() const { return refusal_.kind; }

private:
    Refusal refusal_;
    bool failed_ = false;
};

using Status = Result<void>;

} // namespace core
