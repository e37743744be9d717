#pragma once

#include <string>
#include <string_view>

// The pieces of the record's canonical form that do not need a JSON library: numbers and
// strings written as the JSON Canonicalization Scheme (RFC 8785) writes them, so that the
// same content gives the same bytes whoever stored it and however a database reordered or
// reformatted it.
namespace record {

// A finite number in its shortest form that reads back as the same double, written the way
// ECMAScript's Number::toString writes it: "0" for both zeros, plain digits from 1e-6 up to
// below 1e21 ("4.5", "0.000001", "100"), an exponent outside ("1e+21", "1e-7", "1.5e-9").
// A number that is not finite has no JSON form: "null".
std::string canonicalNumber(double value);

// A string (UTF-8) as a JSON string: quoted, with '"' and '\' escaped, the control
// characters as \b \f \n \r \t or \u00xx (lower-case hex), everything else as it is.
std::string canonicalString(std::string_view utf8);

} // namespace record
