// The reader of the registry's browser command on arbitrary bytes: the value
// is read only inside its buffer, terminated or not, and the command line is
// the quoted program name, a blank and the address.
#include "fuzz_target.h"

#include "platform/platform.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string address = "https://tintaria.example/help";
    BrowserCommand command = browserCommandFromRegistryValue((const char*)data, size, address);
    FUZZ_CHECK(command.path.size() <= size);
    FUZZ_CHECK(command.commandLine.size() >= address.size() + 3);
    FUZZ_CHECK(command.commandLine.compare(command.commandLine.size() - address.size(), address.size(), address) == 0);
    return 0;
}
