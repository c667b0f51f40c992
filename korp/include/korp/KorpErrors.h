// Errors of the mail component.
//
// Everything the component throws derives from EKorpError, so a caller that must not let
// exceptions through (brevon reports failures by flags) catches that one type at its boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace korp {

/// Root of the mail component's errors; what() is the message text.
class EKorpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A stream was asked for an operation it does not support ("Invalid stream operation"),
/// or a file stream could not open, read or write its file.
class EStreamError : public EKorpError {
public:
    using EKorpError::EKorpError;
};

/// Text of the error raised for a character outside the uuencode alphabet.
inline constexpr const char* kUUDecodeErrorText = "Oops...";

/// A malformed uuencoded line: a character outside the uuencode alphabet. The text is always
/// "Oops...". UUDecodeChar raises it; it ends DecodeUUAttachment (its temporary file is deleted)
/// and reaches the caller of TKorpMsg::ParseRawMail, with the fields parsed so far kept.
class EKorpDecodeError : public EKorpError {
public:
    EKorpDecodeError() : EKorpError(kUUDecodeErrorText) {}
};

} // namespace korp
