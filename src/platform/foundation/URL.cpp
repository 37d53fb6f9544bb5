#include "platform/foundation/URL.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace platform {

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    return (c | 0x20) - 'a' + 10;
}

bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelimiter(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

// pchar of RFC 3986 less the percent sign, plus the characters each part may also hold.
bool isAllowed(char c, std::string_view extra) {
    return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' ||
           extra.find(c) != std::string_view::npos;
}

void appendEncodedByte(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

// Encodes what the part can't hold and keeps escapes that are already there.
std::string encodeInvalid(std::string_view text, std::string_view extra) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            out += c;
        } else if (c != '%' && isAllowed(c, extra)) {
            out += c;
        } else {
            appendEncodedByte(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

// Encodes everything but pchar (and the extra characters): for text that holds no escapes.
std::string encodeAll(std::string_view text, std::string_view extra) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (isAllowed(c, extra)) {
            out += c;
        } else {
            appendEncodedByte(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

std::string decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool isScheme(std::string_view text) {
    return !text.empty() && isAlpha(text[0]) && std::all_of(text.begin(), text.end(), [](char c) {
        return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (isAlpha(x) ? (x | 0x20) : x) == (isAlpha(y) ? (y | 0x20) : y);
           });
}

// The path without its trailing slash, unless it is the root.
std::string_view withoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

// Where the extension's dot is in a last path component, or npos.
std::size_t extensionDot(std::string_view name) {
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) {
        return std::string_view::npos;
    }
    return dot;
}

}  // namespace

std::optional<URL> URL::fromString(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    URL url;
    std::string_view rest = text;
    auto delimiter = rest.find_first_of(":/?#");
    if (delimiter != std::string_view::npos && rest[delimiter] == ':' &&
        isScheme(rest.substr(0, delimiter))) {
        url.scheme_ = std::string(rest.substr(0, delimiter));
        rest.remove_prefix(delimiter + 1);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        auto end = std::min(rest.find_first_of("/?#"), rest.size());
        url.authority_ = encodeInvalid(rest.substr(0, end), "[]");
        rest.remove_prefix(end);
    }
    auto pathEnd = std::min(rest.find_first_of("?#"), rest.size());
    url.path_ = encodeInvalid(rest.substr(0, pathEnd), "/");
    rest.remove_prefix(pathEnd);
    if (rest.starts_with('?')) {
        rest.remove_prefix(1);
        auto end = std::min(rest.find('#'), rest.size());
        url.query_ = encodeInvalid(rest.substr(0, end), "/?");
        rest.remove_prefix(end);
    }
    if (rest.starts_with('#')) {
        url.fragment_ = encodeInvalid(rest.substr(1), "/?");
    }
    return url;
}

URL URL::fileURL(std::string_view path) {
    std::string absolute(path);
    if (!absolute.starts_with('/')) {
        std::error_code error;
        std::string directory = std::filesystem::current_path(error).string();
        if (!directory.ends_with('/')) {
            directory += '/';
        }
        absolute = directory + absolute;
    }
    URL url;
    url.scheme_ = "file";
    url.authority_ = "";
    url.path_ = encodeAll(absolute, "/");
    return url;
}

bool URL::isFileURL() const {
    return equalsIgnoringCase(scheme_, "file");
}

std::string URL::host() const {
    if (!authority_) {
        return {};
    }
    std::string_view host = *authority_;
    if (auto at = host.rfind('@'); at != std::string_view::npos) {
        host.remove_prefix(at + 1);
    }
    // A port follows the last colon, unless that colon is inside an IPv6 literal.
    auto colon = host.rfind(':');
    if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) {
        host = host.substr(0, colon);
    }
    return decode(host);
}

std::string URL::path() const {
    return decode(withoutTrailingSlash(path_));
}

std::string URL::absoluteString() const {
    std::string text;
    if (!scheme_.empty()) {
        text += scheme_;
        text += ':';
    }
    if (authority_) {
        text += "//";
        text += *authority_;
    }
    text += path_;
    if (query_) {
        text += '?';
        text += *query_;
    }
    if (fragment_) {
        text += '#';
        text += *fragment_;
    }
    return text;
}

std::string URL::lastPathComponent() const {
    std::string_view path = withoutTrailingSlash(path_);
    if (path.empty() || path == "/") {
        return std::string(path);
    }
    return decode(path.substr(path.rfind('/') + 1));
}

std::string URL::pathExtension() const {
    std::string name = lastPathComponent();
    auto dot = extensionDot(name);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::vector<std::string> URL::pathComponents() const {
    std::vector<std::string> components;
    std::string_view path = path_;
    if (path.starts_with('/')) {
        components.emplace_back("/");
    }
    while (!path.empty()) {
        auto slash = std::min(path.find('/'), path.size());
        if (slash > 0) {
            components.push_back(decode(path.substr(0, slash)));
        }
        path.remove_prefix(std::min(slash + 1, path.size()));
    }
    return components;
}

URL URL::deletingLastPathComponent() const {
    URL url = *this;
    std::string_view path = withoutTrailingSlash(path_);
    if (path.empty() || path == "/") {
        // The root has no parent; an empty path has no component to delete.
        return url;
    }
    auto slash = path.rfind('/');
    url.path_ = slash == std::string_view::npos ? "./" : std::string(path.substr(0, slash + 1));
    return url;
}

URL URL::deletingPathExtension() const {
    std::string_view path = withoutTrailingSlash(path_);
    std::string_view trailing = std::string_view(path_).substr(path.size());
    auto nameStart = path.rfind('/');
    nameStart = nameStart == std::string_view::npos ? 0 : nameStart + 1;
    auto dot = extensionDot(path.substr(nameStart));
    if (path == "/" || dot == std::string_view::npos) {
        return *this;
    }
    URL url = *this;
    url.path_ = std::string(path.substr(0, nameStart + dot)) + std::string(trailing);
    return url;
}

URL URL::appendingPathComponent(std::string_view component) const {
    while (component.starts_with('/')) {
        component.remove_prefix(1);
    }
    URL url = *this;
    if (!url.path_.empty() ? !url.path_.ends_with('/') : url.authority_.has_value()) {
        url.path_ += '/';
    }
    url.path_ += encodeAll(component, "/");
    return url;
}

URL URL::withDecodedPath(const std::string& path, bool trailingSlash) const {
    URL url = *this;
    url.path_ = encodeAll(path, "/");
    if (trailingSlash && !url.path_.ends_with('/')) {
        url.path_ += '/';
    }
    return url;
}

URL URL::resolvingSymlinksInPath() const {
    if (!isFileURL() || path_.empty()) {
        return *this;
    }
    std::error_code error;
    auto resolved = std::filesystem::weakly_canonical(std::filesystem::path(path()), error);
    if (error) {
        return *this;
    }
    return withDecodedPath(std::string(withoutTrailingSlash(resolved.string())),
                           path_.size() > 1 && path_.ends_with('/'));
}

URL URL::standardizedFileURL() const {
    if (!isFileURL() || path_.empty()) {
        return *this;
    }
    auto normal = std::filesystem::path(path()).lexically_normal().string();
    return withDecodedPath(std::string(withoutTrailingSlash(normal)),
                           path_.size() > 1 && path_.ends_with('/'));
}

std::ostream& operator<<(std::ostream& stream, const URL& url) {
    return stream << url.absoluteString();
}

}  // namespace platform

std::size_t std::hash<platform::URL>::operator()(const platform::URL& url) const noexcept {
    return std::hash<std::string>{}(url.absoluteString());
}
