#pragma once
// Errors of access control: the text is the one shown to the operator.

#include <stdexcept>

class EuilSecurityError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
