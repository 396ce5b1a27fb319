// The profile reader over the XML layer on arbitrary documents. The first
// byte chooses what the rest is:
//   even: a single-profile document, read by Profile::importFromXml;
//   odd:  a repository file, opened by ProfileRepository::create.
// A rejected document gives the library's exception (anything else leaves
// the fuzzer and is reported); reading never writes the file. Whatever was
// read is written and read back until the writing settles, which it must
// after one round. When the first byte's bit 1 is set, the document is also
// handed to the parser in pieces of 1 to 8 bytes (bits 2-4): the verdict is
// the one of the whole. A profile read always passes the range table's
// entry check. Every document, read as far as it goes, gives a tree no
// deeper than the parser's limit, and put inside that many elements of its
// own it is refused whenever it had an element at all. The library's files
// live in memory (the fuzz build links the in-memory file layer), so no
// input touches the disk.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "baselib/svr_error.h"
#include "profile/djv_fieldranges.h"
#include "profile/djv_fileaccess_memory.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"

using namespace Solvaris;
using namespace Solvaris::DjVu;

namespace {

namespace Files = Solvaris::DjVu::FileAccess::Memory;

std::string readAll(const char* path) {
    std::string out;
    Files::getFile(String(path), &out);
    return out;
}

bool accepted(const uint8_t* data, size_t size, size_t piece) {
    try {
        AutoPtr<XmlParse::DjVuXmlParser> parser(new XmlParse::DjVuXmlParser());
        if (piece == 0) {
            parser->parse(reinterpret_cast<const char*>(data), uint32_t(size), "fuzz", true);
        } else {
            for (size_t at = 0; at < size; at += piece) {
                size_t n = size - at < piece ? size - at : piece;
                parser->parse(reinterpret_cast<const char*>(data) + at, uint32_t(n), "fuzz", false);
            }
            parser->parse("", 0, "fuzz", true);
        }
        parser->getRoot();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

uint32_t depthOf(const XmlParse::XmlElement* root) {
    uint32_t deepest = 0;
    std::vector<std::pair<const XmlParse::XmlElement*, uint32_t>> todo;
    if (root)
        todo.emplace_back(root, 1);
    while (!todo.empty()) {
        const auto [element, depth] = todo.back();
        todo.pop_back();
        deepest = depth > deepest ? depth : deepest;
        for (uint32_t i = 0; i < element->getChildCount(); ++i)
            todo.emplace_back(element->getChild(i), depth + 1);
    }
    return deepest;
}

void depthIsBounded(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const XmlParse::PartialDocument doc = XmlParse::parseXmlPartly(text.data(), uint32_t(text.size()), "fuzz");
    std::string wrapped;
    for (uint32_t i = 0; i < XmlParse::kMaxDepth; ++i)
        wrapped += "<w>";
    wrapped += text;
    for (uint32_t i = 0; i < XmlParse::kMaxDepth; ++i)
        wrapped += "</w>";
    const XmlParse::PartialDocument deeper =
        XmlParse::parseXmlPartly(wrapped.data(), uint32_t(wrapped.size()), "fuzz");
    if (depthOf(doc.root.get()) > XmlParse::kMaxDepth || depthOf(deeper.root.get()) > XmlParse::kMaxDepth) {
        std::fprintf(stderr, "a tree deeper than %u came out\n", XmlParse::kMaxDepth);
        std::abort();
    }
    if (doc.root && !deeper.failure) {
        std::fprintf(stderr, "a document nested deeper than %u was accepted\n", XmlParse::kMaxDepth);
        std::abort();
    }
}

void singleProfile(const uint8_t* data, size_t size) {
    AutoPtr<Profile> profile;
    try {
        profile = Profile::importFromXml(String(reinterpret_cast<const char*>(data), int32_t(size)));
    } catch (const Exception&) {
        return;
    }
    // What the reader gives, the entry check takes (else an editor could
    // not change the profile at all); it throws otherwise.
    FieldRanges::checkParams(profile->getParams());
    // The first writing may still change on reading: a 3-layer profile
    // without flex encoding is written without an encode mode, which reads
    // as flex encoding. From then on writing and reading agree.
    String first = Profile::importFromXml(profile->getXml())->getXml();
    String second = Profile::importFromXml(first)->getXml();
    if (first != second) {
        std::fprintf(stderr, "written:\n%s\nwritten again:\n%s\n", first.c_str(), second.c_str());
        std::abort();
    }
}

void repositoryFile(const uint8_t* data, size_t size) {
    const String path("/r.dprepo"), copy("/copy.dprepo"), again("/again.dprepo");
    Files::removeAll();
    Files::putFile(path, reinterpret_cast<const char*>(data), size);
    {
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(path);
        SimpleArray<String> names;
        repo->getProfileNames(names);
        if (names.isEmpty())
            std::abort();   // at least the built-in profile
        repo->saveAs(copy);
    }   // released: saves, which must not write anything
    if (readAll("/r.dprepo") != std::string(reinterpret_cast<const char*>(data), size))
        std::abort();
    // Two more rounds, for the reason given above.
    ProfileRepository::create(copy)->saveAs(copy);
    ProfileRepository::create(copy)->saveAs(again);
    if (readAll("/copy.dprepo") != readAll("/again.dprepo"))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 16384)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode & 1)
        repositoryFile(data, size);
    else
        singleProfile(data, size);
    if ((mode & 2) && accepted(data, size, 0) != accepted(data, size, ((mode >> 2) & 7) + 1))
        std::abort();
    depthIsBounded(data, size);
    return 0;
}
