// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ini_file.h"

#include "platform/ascii.h"
#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <limits>

// Windows would turn CR LF into LF on reading without it; Linux has no such mode.
#ifndef O_BINARY
#define O_BINARY 0
#endif
// Opening a FIFO for reading would wait for a writer; non-blocking, it opens at once and is
// then refused as not a regular file.
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

std::int32_t parseNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulated as a negative number so that INT32_MIN itself needs no special case.
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 - (text[i] - '0');
        if (magnitude < lowest)
            return negative ? std::numeric_limits<std::int32_t>::min()
                            : std::numeric_limits<std::int32_t>::max();
    }
    if (negative) return static_cast<std::int32_t>(magnitude);
    return magnitude < -std::int64_t{std::numeric_limits<std::int32_t>::max()}
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(-magnitude);
}

// Reads the whole of a regular file into `buffer`.
bool readWholeFile(const std::string& path, std::vector<char>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat status;
    bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= 0;
    if (ok) {
        const auto size = static_cast<std::size_t>(status.st_size);
        buffer.resize(size);
        std::size_t done = 0;
        // One read for the whole file; the loop only matters if the system hands it out in parts.
        while (done < size) {
            const auto got =
                ::read(fd, buffer.data() + done,
                       static_cast<unsigned>(std::min<std::size_t>(size - done, 1u << 30)));
            if (got < 0) {
                ok = false;
                break;
            }
            if (got == 0) break;
            done += static_cast<std::size_t>(got);
        }
        buffer.resize(done);
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::string fromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto continues = [&](std::size_t at) {
        return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += text[i++];
            continue;
        }
        if (lead < 0xC0 || lead >= 0xF8) {
            ++i;  // can't begin a sequence
            continue;
        }
        const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::size_t next = i + 1;
        while (next < i + length && continues(next)) ++next;
        if (next == i + length) {
            if (length == 2 && lead >= 0xC2 && lead <= 0xC3)
                out += static_cast<char>(((lead & 0x03) << 6) |
                                         (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            else
                out += '?';
        } else if (next < text.size()) {
            out += '?';  // broken by a byte that starts the next sequence
        }                // else cut off by the end of the text: dropped
        i = next;
    }
    return out;
}

IniFile::~IniFile() { close(); }

bool IniFile::open(const std::string& path) {
    close();
    if (!readWholeFile(path, buffer_)) return false;
    takeBuffer();
    path_ = path;
    return true;
}

void IniFile::openText(std::string_view text) {
    close();
    buffer_.assign(text.begin(), text.end());
    takeBuffer();
}

void IniFile::takeBuffer() {
    std::string_view text(buffer_.data(), buffer_.size());
    if (text.size() > 2 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        utf8Mode_ = true;
        text.remove_prefix(3);
    }
    parse(text);
    state_ = State::opened;
}

bool IniFile::create(const std::string& path) {
    close();
    created_ = std::fopen(path.c_str(), "wb");
    if (!created_) return false;
    path_ = path;
    state_ = State::created;
    return true;
}

void IniFile::parse(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end) {
        while (p != end && (isBlank(*p) || isLineEnd(*p))) ++p;
        if (p == end) break;
        const char* stop = p;
        while (stop != end && !isLineEnd(*stop)) ++stop;
        const std::string_view line(p, static_cast<std::size_t>(stop - p));
        p = stop;

        if (line.front() == ';') {
            lines_.push_back({LineKind::comment, line, {}});
        } else if (line.front() == '[') {
            const auto close = line.find(']', 1);
            lines_.push_back(
                {LineKind::header,
                 line.substr(1, close == std::string_view::npos ? line.npos : close - 1),
                 {}});
        } else {
            const auto equals = line.find('=');
            std::string_view key = line.substr(0, equals);
            while (!key.empty() && isBlank(key.back())) key.remove_suffix(1);
            std::string_view value;
            if (equals != std::string_view::npos) {
                value = line.substr(equals + 1);
                while (!value.empty() && isBlank(value.front())) value.remove_prefix(1);
            }
            lines_.push_back({LineKind::key, key, value});
        }
    }
}

std::string IniFile::handedIn(std::string_view name) const {
    return utf8Mode_ ? latin1ToUtf8(name) : std::string(name);
}

std::string IniFile::handedOut(std::string_view text) const {
    if (!utf8Mode_) return std::string(trimmed(text));
    return std::string(trimmed(fromUtf8(text)));
}

bool IniFile::selectGroup(std::string_view name) {
    if (!isOpen()) return false;
    const std::string wanted = handedIn(name);
    groupMissing_ = false;
    if (wanted.empty()) {
        group_ = none;
        cursor_ = 0;
        return true;
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::header && equalIgnoringAsciiCase(lines_[i].name, wanted)) {
            group_ = i;
            cursor_ = i + 1;
            return true;
        }
    }
    groupMissing_ = true;
    missingGroup_ = wanted;
    group_ = none;
    cursor_ = 0;
    return false;
}

bool IniFile::beginKeys() {
    if (!isOpen() || groupMissing_) return false;
    cursor_ = group_ == none ? 0 : group_ + 1;
    return true;
}

bool IniFile::nextKey() {
    if (!isOpen() || groupMissing_) return false;
    for (std::size_t i = cursor_; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::header) return false;
        if (lines_[i].kind == LineKind::key) {
            cursor_ = i + 1;
            return true;
        }
    }
    return false;
}

std::string IniFile::keyName() const {
    if (!isOpen() || groupMissing_ || cursor_ == 0 || lines_[cursor_ - 1].kind != LineKind::key)
        return {};
    return handedOut(lines_[cursor_ - 1].name);
}

std::string IniFile::keyValue() const {
    if (!isOpen() || groupMissing_ || cursor_ == 0 || lines_[cursor_ - 1].kind != LineKind::key)
        return {};
    return handedOut(lines_[cursor_ - 1].value);
}

std::string IniFile::storedKeyValue() const {
    if (!isOpen() || groupMissing_ || cursor_ == 0 || lines_[cursor_ - 1].kind != LineKind::key)
        return {};
    return std::string(trimmed(lines_[cursor_ - 1].value));
}

std::string IniFile::storedKeyName() const {
    if (!isOpen() || groupMissing_ || cursor_ == 0 || lines_[cursor_ - 1].kind != LineKind::key)
        return {};
    return std::string(trimmed(lines_[cursor_ - 1].name));
}

std::size_t IniFile::sectionEnd() const {
    std::size_t i = group_ == none ? 0 : group_ + 1;
    while (i < lines_.size() && lines_[i].kind != LineKind::header) ++i;
    return i;
}

std::size_t IniFile::findKey(std::string_view name) const {
    if (!isOpen() || groupMissing_) return none;
    const std::string wanted = handedIn(name);
    for (std::size_t i = group_ == none ? 0 : group_ + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::header) break;
        if (lines_[i].kind == LineKind::key && equalIgnoringAsciiCase(lines_[i].name, wanted))
            return i;
    }
    return none;
}

std::string IniFile::readString(std::string_view name, std::string_view fallback) const {
    const std::size_t at = findKey(name);
    return at == none ? std::string(fallback) : handedOut(lines_[at].value);
}

std::string IniFile::readStoredString(std::string_view name, std::string_view fallback) const {
    const std::size_t at = findKey(name);
    return at == none ? std::string(fallback) : std::string(trimmed(lines_[at].value));
}

std::int32_t IniFile::readNumber(std::string_view name, std::int32_t fallback) const {
    const std::size_t at = findKey(name);
    // Digits are ASCII in both modes, so the value is read as it stands.
    return at == none ? fallback : parseNumber(lines_[at].value);
}

std::size_t IniFile::ownedSlot(Line& line) {
    if (line.owned == none) {
        line.owned = owned_.size();
        owned_.emplace_back();
    }
    return line.owned;
}

void IniFile::writeNumber(std::string_view name, std::int32_t value) {
    if (!isOpen()) return;
    if (groupMissing_) {
        Line header{LineKind::header, {}, {}};
        OwnedText& text = owned_[ownedSlot(header)];
        text.name = missingGroup_;
        header.name = text.name;
        lines_.push_back(header);
        group_ = lines_.size() - 1;
        cursor_ = lines_.size();
        groupMissing_ = false;
    }
    char digits[16];
    const auto formatted = std::to_chars(digits, digits + sizeof digits, value);

    std::size_t at = findKey(name);
    if (at == none) {
        at = sectionEnd();
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                      Line{LineKind::key, {}, {}});
        if (cursor_ > at) ++cursor_;
    }
    Line& line = lines_[at];
    OwnedText& text = owned_[ownedSlot(line)];
    text.name = handedIn(name);
    text.value.assign(digits, formatted.ptr);
    line.name = text.name;
    line.value = text.value;
    written_ = true;
}

bool IniFile::writeBack() {
    if (path_.empty() && !created_) return false;  // text that came from no file
    std::FILE* file = created_ ? created_ : std::fopen(path_.c_str(), "wb");
    created_ = nullptr;
    if (!file) return false;
    std::string text;
    if (utf8Mode_) {
        text += "\xEF\xBB\xBF";
    } else if (!lines_.empty() && lines_[0].name.starts_with("\xEF\xBB\xBF")) {
        // A first line that begins with the mark's bytes would bring the file back in UTF-8
        // mode; a leading line end keeps it as it was.
        text += lineEnd;
    }
    for (const Line& line : lines_) {
        switch (line.kind) {
            case LineKind::header:
                text += '[';
                text += line.name;
                text += ']';
                break;
            case LineKind::comment:
                text += line.name;
                break;
            case LineKind::key:
                text += line.name;
                text += " = ";
                text += line.value;
                break;
        }
        text += lineEnd;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return (std::fclose(file) == 0) && written;
}

bool IniFile::close() {
    bool ok = true;
    if (written_) ok = writeBack();
    if (created_) std::fclose(created_);
    created_ = nullptr;
    state_ = State::closed;
    path_.clear();
    buffer_.clear();
    lines_.clear();
    owned_.clear();
    group_ = none;
    cursor_ = 0;
    groupMissing_ = false;
    missingGroup_.clear();
    written_ = false;
    utf8Mode_ = false;
    return ok;
}
