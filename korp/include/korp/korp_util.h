// Small support routines of the mail component: 8-bit string helpers, temporary files and the
// MIME type of a file name.
#pragma once

#include <string>
#include <string_view>

#include <korp/KorpStreams.h>

namespace korp {

/// Removes leading and trailing blanks and control characters (bytes up to 32).
std::string_view Trim(std::string_view s);
/// ASCII case mapping; bytes from 128 up stay as they are.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

/// Creates a fresh, empty file with a unique name that starts with "korp" in the user's
/// temporary folder (platform::TempFolder), readable and writable by the owner only, and returns
/// its full name. The file is left in place so that no one else can take the name before the caller
/// reopens it; the caller deletes it. Throws EStreamError when no file can be created.
std::string MakeTempFileName();

/// A temporary file, open for reading and writing, gone when the object goes away (also while an
/// exception unwinds) and never left behind by a crash: on POSIX its name is removed as soon as
/// it is open, on Windows the system deletes it when its handle closes.
class TKorpTempFile : public TFileStream {
public:
    TKorpTempFile();
    ~TKorpTempFile() override;
};

/// The MIME type registered for the extension of name (from its last "."), or
/// "application/octet-stream", as the system registers it (platform::MimeTypeOfExtension).
std::string GetMimeTypeForFile(std::string_view name);

} // namespace korp
