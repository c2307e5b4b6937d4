// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the JSON reader and the app knowledge read with it. Beyond the sanitizers
// it checks that every text read is UTF-8, that a failure is placed inside the input, and that
// every note of a list that was read is found again by its package.
#include "catalogue/app_knowledge.h"
#include "catalogue/json_reader.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkTexts(const JsonValue& value, std::size_t size) {
    require(value.offset <= size);
    require(isUtf8(value.text));
    for (const JsonValue& item : value.items) checkTexts(item, size);
    for (const auto& [key, member] : value.members) {
        require(isUtf8(key));
        checkTexts(member, size);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    JsonValue value;
    JsonError error;
    // Small limits, so that the fuzzer reaches them.
    if (readJson(text, value, error, {16, 1 << 20, 4096})) {
        checkTexts(value, size);
    } else {
        const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        require(error.line >= 1 && error.line <= lines + 1 && error.column >= 1);
        require(error.column <= size + 1 && !error.expected.empty());
    }

    AppKnowledge knowledge;
    std::string why;
    if (!readAppKnowledge(text, "fuzz.json", knowledge, why)) {
        require(why.starts_with("fuzz.json:") && knowledge.notes.empty());
        return 0;
    }
    require(why.empty());
    for (const AppNote& note : knowledge.notes) {
        const AppNote* found = knowledge.noteOf(note.package);
        require(found != nullptr);
        knowledgeText(note, "\n");
        for (const std::string& dependent : knowledge.dependentsOf(note.package))
            require(!dependent.empty());
    }
    return 0;
}
