// The MIME types the system registers for file name extensions.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The type registered for an extension (without its dot, in any case); empty when the system
// knows none. POSIX: /etc/mime.types, read once. Windows: the registry's "Content Type" of the
// extension, as Windows programs do, then a built-in list of the types mail attachments mostly
// have, for what a bare registry (Wine's) lacks.
std::string MimeTypeOfExtension(std::string_view extension);

} // namespace platform
