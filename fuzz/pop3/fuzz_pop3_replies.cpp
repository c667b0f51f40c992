// Feeds arbitrary server replies to the POP3 client. A NUL byte in the input ends one receive,
// so the fuzzer also chooses where replies are cut.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <korp/KorpMsg.h>
#include <korp/KorpPOP3.h>

#include "FakeTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    poptest::FakeTransport::Shared server;
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t nul = input.find('\0', start);
        if (nul == std::string::npos) nul = input.size();
        if (nul > start) server.chunks.push_back(input.substr(start, nul - start));
        start = nul + 1;
    }
    korp::TKorpPOP pop;
    pop.Host = "127.0.0.1";
    pop.TransportFactory = [&](const korp::TKorpPOP&) {
        return std::make_unique<poptest::FakeTransport>(server);
    };
    pop.GetUIDLsOnRetrieve = true;
    pop.Connect();
    pop.Login();
    pop.GetMailCount();
    pop.GetUIDL(1);
    std::vector<std::string> ids;
    pop.GetUIDLs(ids);
    pop.RetrieveHeader(1);
    pop.Retrieve(2);
    // Quit is left out: its 10 ms pause would only slow the fuzzer down.
    return 0;
}
