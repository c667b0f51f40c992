// Fuzzes TKorpMsg::ParseRawMail with raw bytes split into lines as the POP3 client loads them.
// Temporary files go to a private folder that must be empty after every input: an attachment
// decoder that leaves a file behind aborts the run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>

#include "../PrivateTempDir.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::UsePrivateTempDir("korpfuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korp::TKorpMsg msg;
    msg.RawMail.SetText(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        msg.ParseRawMail();
    } catch (const korp::EKorpDecodeError&) {
        // "Oops...": a malformed uuencoded line is the one error parsing may raise.
    }
    fuzzing::RequireEmptyTempDir();
    return 0;
}
