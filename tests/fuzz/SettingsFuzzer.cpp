// Feeds arbitrary bytes to the settings reader; a document it accepts must survive being
// changed, saved and read again with the same records and digest.
#include "core/settings/SettingsDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrava::settings;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    SettingsDocument document;
    if (document.parse(bytes) != ParseStatus::Parsed) {
        return 0;
    }
    const auto records = document.records();
    (void)document.digestMatches();
    document.appendRecord({"label", "/folder", "E:", "pwd", 1, "hint"});
    if (!records.empty()) {
        document.setRecordAttribute(0, "automount", "1");
        document.removeRecordAttribute(0, "pwd");
    }
    document.setValue("Language", "English");
    // Two save cycles, as two operations in a row would make; each must read back valid.
    for (int cycle = 0; cycle < 2; ++cycle) {
        const std::string saved = document.serializeWithDigest();
        SettingsDocument again;
        if (again.parse(saved) != ParseStatus::Parsed || again.records().size() != records.size() + 1 ||
            !again.digestMatches()) {
            __builtin_trap();
        }
        document = std::move(again);
    }
    return 0;
}
