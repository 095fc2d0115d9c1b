#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// Error numbers that callers test for; the classic values are kept so that
// log entries read as they always have.
enum ErrorNumber : int {
    ErrInvalidCall = 5,
    ErrOverflow = 6,
    ErrSubscript = 9,
    ErrTypeMismatch = 13,
    ErrFileNotFound = 53,
    ErrFileAlreadyExists = 58,
    ErrPathNotFound = 76,
    ErrServiceFatal = 512,
};

// The one error type every layer raises: a number and a description.
class Error : public std::runtime_error {
public:
    Error(int number, const QString &description);

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }

private:
    int m_number;
    QString m_description;
};

// The description of any error: a platform::Error's own, else what() in the
// local encoding.
QString describe(const std::exception &e);

[[noreturn]] void raiseOverflow();
[[noreturn]] void raiseTypeMismatch(const QString &value);

} // namespace platform
