// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/app_knowledge.h"

#include "catalogue/catalogue.h"
#include "catalogue/json_reader.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A value written back compactly, to compare what was read with what was meant.
std::string shown(const JsonValue& value) {
    switch (value.kind) {
        case JsonValue::Kind::null:
            return "null";
        case JsonValue::Kind::boolean:
            return value.flag ? "true" : "false";
        case JsonValue::Kind::number:
            return "#" + value.text;
        case JsonValue::Kind::string:
            return "'" + value.text + "'";
        case JsonValue::Kind::array: {
            std::string out = "[";
            for (const JsonValue& item : value.items)
                out += (&item == &value.items.front() ? "" : ",") + shown(item);
            return out + "]";
        }
        case JsonValue::Kind::object: {
            std::string out = "{";
            for (const auto& [key, member] : value.members)
                out += (&key == &value.members.front().key ? "" : ",") + key + ":" + shown(member);
            return out + "}";
        }
    }
    return "?";
}

// What reading `text` gives: the value written back, or "line:column: expected ...".
std::string readBack(const std::string& text, const JsonLimits& limits = {}) {
    JsonValue value;
    JsonError error;
    if (readJson(text, value, error, limits)) return shown(value);
    return std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.expected;
}

TEST(JsonReader, ReadsGoodTextAndNamesWhereBadTextBreaks) {
    const JsonLimits tight{3, 64, 6};
    struct Case {
        std::string text, expected;
        JsonLimits limits = {};
    };
    const Case cases[] = {
        // Good text.
        {" {\"a\": [1, -0.5e+3, true, false, null], \"b\": {}}\r\n",
         "{a:[#1,#-0.5e+3,true,false,null],b:{}}"},
        {"\xEF\xBB\xBF[\"x\"]", "['x']"},
        {"\"\\\" \\\\ \\/ \\b\\f\\n\\r\\t\"", "'\" \\ / \b\f\n\r\t'"},
        {"\"\\u00e9\\u03A9\\u65e5\\ud83d\\ude00\"",
         "'\xC3\xA9\xCE\xA9\xE6\x97\xA5\xF0\x9F\x98\x80'"},
        {"\"\xCE\xB1\xCE\xB2 \xE6\x97\xA5\"", "'\xCE\xB1\xCE\xB2 \xE6\x97\xA5'"},
        {"{\"k\":1,\"k\":2}", "{k:#1,k:#2}"},
        {"[[[]]]", "[[[]]]", tight},
        {"[1,2,3,4,5]", "[#1,#2,#3,#4,#5]", tight},
        // Bad text: where, and what was expected.
        {"", "1:1: a value (an object, array, string, number, true, false or null)"},
        {"{\"a\" 1}", "1:6: ':' after a member's name"},
        {"{\"a\":1,}", "1:8: '\"' to start a member's name"},
        {"{a:1}", "1:2: '\"' to start a member's name"},
        {"[1 2]", "1:4: ',' or ']' after an item"},
        {"{\"a\":1 \"b\":2}", "1:8: ',' or '}' after a member"},
        {"[1]\n[2]", "2:1: the end of the text after the value"},
        {"{\n  \"a\": tru\n}",
         "2:8: a value (an object, array, string, number, true, false or null)"},
        {"[01]", "1:3: ',' or ']' after an item"},
        {"[1.]", "1:4: a digit after the decimal point"},
        {"[1e]", "1:4: a digit in the exponent"},
        {"[+1]", "1:2: a value (an object, array, string, number, true, false or null)"},
        {"[\"abc", "1:2: '\"' to end the string started here"},
        {"[\"a\\", "1:2: '\"' to end the string started here"},
        {"[\"a\tb\"]", "1:4: no control character in a string (use \\n, \\t...)"},
        {"[\"\\x\"]", "1:3: an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX"},
        {"[\"\\u12G4\"]", "1:7: a hex digit after \\u"},
        {"[\"\\u12\"]", "1:7: a hex digit after \\u"},
        {"[\"\\ud83d\"]", "1:9: \\u and a low surrogate after a high one"},
        {"[\"\\ud83d\\u0041\"]", "1:9: a low surrogate after a high one"},
        {"[\"\\ude00\"]", "1:3: a high surrogate before a low one"},
        {"[\"\xCE\xB1\xFF\"]", "1:4: text in UTF-8"},
        {"[\"\xC3\"]", "1:3: text in UTF-8"},
        {"[\"\xED\xA0\x80\"]", "1:3: text in UTF-8"},
        {"[[[[]]]]", "1:4: nesting at most 3 deep", tight},
        {"[1,2,3,4,5,6]", "1:12: at most 6 values", tight},
        {std::string(65, ' ') + "1", "1:1: a file of at most 0 MiB", tight},
        {"[" + std::string(100000, '[') + std::string(100000, ']') + "]",
         "1:65: nesting at most 64 deep"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readBack(c.text, c.limits), c.expected) << c.text.substr(0, 40);
}

constexpr const char* sampleList = R"({
  "com.example.mail": {
    "list": "Oem",
    "description": "Mail \u00e9\u03a9 client\nSecond line",
    "dependencies": ["com.example.core"],
    "neededBy": ["com.example.sync", "com.example.widget"],
    "labels": ["mail"],
    "removal": "Recommended",
    "somethingNew": {"ignored": [1, 2]}
  },
  "com.example.core": {"removal": "unsafe", "description": "Core"},
  "com.example.sync": {"dependencies": ["com.example.mail", "COM.EXAMPLE.CORE"]},
  "com.example.widget": {"dependencies": ["com.example.mail"], "labels": null}
})";

TEST(AppKnowledge, ReadsNotesAndNamesWhoNeedsAnApp) {
    AppKnowledge knowledge;
    std::string error;
    ASSERT_TRUE(readAppKnowledge(sampleList, "list.json", knowledge, error)) << error;
    ASSERT_EQ(knowledge.notes.size(), 4u);

    const AppNote* mail = knowledge.noteOf("COM.example.Mail");
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->list, "Oem");
    EXPECT_EQ(mail->description, "Mail \xC3\xA9\xCE\xA9 client\nSecond line");
    EXPECT_THAT(mail->dependencies, ElementsAre("com.example.core"));
    EXPECT_THAT(mail->labels, ElementsAre("mail"));
    EXPECT_EQ(mail->tier, RemovalTier::recommended);
    EXPECT_EQ(knowledgeText(*mail, "|"),
              "Removal: Recommended|Mail \xC3\xA9\xCE\xA9 client\nSecond line");
    EXPECT_EQ(knowledge.noteOf("com.example.core")->tier, RemovalTier::unsafe);
    EXPECT_EQ(knowledge.noteOf("com.example.sync")->tier, RemovalTier::unknown);
    EXPECT_EQ(knowledgeText(*knowledge.noteOf("com.example.sync"), "|"), "");
    EXPECT_EQ(knowledge.noteOf("com.example.absent"), nullptr);

    CatalogueEntry entry;
    EXPECT_EQ(knowledge.noteOf(entry), nullptr);
    entry.package = "com.example.core";
    EXPECT_EQ(knowledge.noteOf(entry), knowledge.noteOf("com.example.core"));

    // Its own neededBy first, then the apps whose dependencies name it, each once.
    EXPECT_THAT(knowledge.dependentsOf("com.example.mail"),
                ElementsAre("com.example.sync", "com.example.widget"));
    EXPECT_THAT(knowledge.dependentsOf("com.example.core"),
                ElementsAre("com.example.mail", "com.example.sync"));
    EXPECT_THAT(knowledge.dependentsOf("com.example.widget"), IsEmpty());
    EXPECT_THAT(knowledge.dependentsOf("com.example.absent"), IsEmpty());

    EXPECT_EQ(packageNames({"a", "b", "c"}, 2), "a, b and 1 more");
    EXPECT_EQ(packageNames({"a", "b"}, 2), "a, b");
}

TEST(AppKnowledge, BadListsAreNamedAndLeaveTheKnowledgeAsItWas) {
    TempFolder sandbox;
    AppKnowledge knowledge;
    std::string error;
    ASSERT_TRUE(loadAppKnowledge(sandbox.write("good.json", sampleList), knowledge, error));
    EXPECT_EQ(knowledge.source, sandbox.root() + "good.json");

    const std::pair<std::string, std::string> cases[] = {
        {"[]", "1:1: expected an object keyed by package name"},
        {"{\"a\": 1}", "1:7: expected an object for the package a"},
        {"{\"\": {}}", "1:6: expected a package name as the key"},
        {"{\"a\": {\"removal\": \"Maybe\"}}",
         "1:19: expected \"removal\" to be Recommended, "
         "Advanced, Expert or Unsafe"},
        {"{\"a\": {\"removal\": 3}}", "1:19: expected a string as \"removal\""},
        {"{\"a\": {\"description\": [\"x\"]}}", "1:23: expected a string as \"description\""},
        {"{\"a\": {\"neededBy\": \"b\"}}", "1:20: expected an array of strings as \"neededBy\""},
        {"{\"a\": {\n\"dependencies\": [\"b\", 2]}}",
         "2:23: expected a string in \"dependencies\""},
        {"{\"a\": {}", "1:9: expected ',' or '}' after a member"},
    };
    for (const auto& [text, expected] : cases) {
        error.clear();
        EXPECT_FALSE(loadAppKnowledge(sandbox.write("bad.json", text), knowledge, error)) << text;
        EXPECT_EQ(error, sandbox.root() + "bad.json:" + expected);
        EXPECT_EQ(knowledge.notes.size(), 4u);
    }
    EXPECT_FALSE(loadAppKnowledge(sandbox.root() + "missing.json", knowledge, error));
    EXPECT_EQ(error, "Can't read " + sandbox.root() + "missing.json");
    EXPECT_FALSE(loadAppKnowledge(sandbox.root(), knowledge, error));
    EXPECT_EQ(knowledge.notes.size(), 4u);
}

}  // namespace
