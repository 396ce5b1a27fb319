// Helpers shared by the profile tests: parsing a text whole and in small
// pieces, message checks, files in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "baselib/svr_error.h"
#include "baselib/text_helpers.h"
#include "profile/djv_xmlhelper.h"

namespace profile_test {

using Solvaris::AutoPtr;
using Solvaris::String;
using Solvaris::DjVu::XmlParse::DjVuXmlParser;
using Solvaris::DjVu::XmlParse::XmlElement;

using text_helpers::codeOf;
using text_helpers::failsWith;
using text_helpers::str;
using text_helpers::Thrown;
using text_helpers::thrown;
inline String S(const std::string& s) { return String(s.data(), int32_t(s.size())); }

// Parses text handed over in pieces of `piece` bytes (0: whole), then the
// final call; returns the root or rethrows what the parser threw. With
// `namespaces` the parser records declarations in a namespace manager.
inline AutoPtr<XmlElement> parseInPieces(const std::string& text, size_t piece, bool namespaces = false) {
    AutoPtr<DjVuXmlParser> parser(new DjVuXmlParser());
    if (namespaces)
        parser->setNamespaceManager(new Solvaris::DjVu::XmlParse::XmlNamespaceManager());
    if (piece == 0) {
        parser->parse(text.data(), uint32_t(text.size()), "doc", true);
    } else {
        for (size_t at = 0; at < text.size(); at += piece) {
            size_t n = std::min(piece, text.size() - at);
            parser->parse(text.data() + at, uint32_t(n), "doc", false);
        }
        parser->parse("", 0, "doc", true);
    }
    return parser->getRoot();
}

// Runs check on the root of text parsed whole and in pieces of 1 to 5 bytes.
inline void forEachSplit(const std::string& text, const std::function<void(const XmlElement&)>& check,
                         bool namespaces = false) {
    for (size_t piece = 0; piece <= 5; ++piece) {
        SCOPED_TRACE("piece size " + std::to_string(piece));
        AutoPtr<XmlElement> root = parseInPieces(text, piece, namespaces);
        check(*root);
    }
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh folder below the current one, removed with its content.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) {
        path_ = std::filesystem::current_path() / ("pvtest-" + name);
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // UTF-8 path for the library.
    String lib(const std::string& name = std::string()) const {
        std::filesystem::path p = name.empty() ? path_ : path_ / name;
        return S(p.u8string());
    }

private:
    std::filesystem::path path_;
};

} // namespace profile_test
