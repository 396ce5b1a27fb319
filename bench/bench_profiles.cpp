// A repository of 1000 profiles, read and written, each against a baseline
// measured in the same run:
//   - reading the file into profiles (repository open: file read, parse into
//     the element tree, every attribute checked into the records), and the
//     same from text already in memory, against Expat parsing the same bytes
//     with no handlers at all;
//   - writing it (the whole document built and written through the file
//     layer), and building the text alone, against the same Expat baseline
//     and against writing the same bytes with the same durability: into a
//     new file, flushed to the disk, renamed over the old one (and, for
//     scale, with the C library alone).
#include <expat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "profile/djv_fileaccess.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"
#ifdef _WIN32
#include "baselib/svr_fileutils.h"
#endif
#include "bench_timing.h"

namespace {

std::string readAll(const char* path) {
    std::string out;
    if (FILE* f = std::fopen(path, "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

// The least write that survives a crash as the repository's does: the bytes
// into a new file, flushed to the disk, the file renamed over the old one.
bool durableWrite(const char* path, const std::string& bytes) {
    const std::string work = std::string(path) + ".~bench";
#ifdef _WIN32
    HANDLE f = CreateFileA(work.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD n = 0;
    bool ok = WriteFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr) && n == bytes.size();
    ok = FlushFileBuffers(f) && ok;
    ok = CloseHandle(f) && ok;
    return ok && MoveFileExA(work.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    int fd = ::open(work.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    return ok && std::rename(work.c_str(), path) == 0;
#endif
}

} // namespace

int main() {
    using namespace Solvaris;
    using namespace Solvaris::DjVu;
    const char* kPath = "bench-profiles.dprepo";
    const char* kCopy = "bench-profiles-copy.dprepo";
    std::remove(kPath);

    // 1000 profiles of every encode mode, some with chunk lists and extras.
    {
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(String(kPath));
        for (int i = 0; i < 1000; ++i) {
            DjVuEncoder::Params p(DjVuEncoder::EncodeMode(i % 4), 12, 60 + i % 30);
            if (i % 3 == 0) {
                p.bgParams.chunks.append({72, 0});
                p.bgParams.chunks.append({0, 20000});
            }
            if (i % 5 == 0)
                p.extras[String::format("key%d", i)] = String("value & <more>");
            repo->installProfile(Profile::create(String::format("profile %04d", i), String("bench"), &p).get(),
                                 String());
        }
        if (!repo->save()) {
            std::printf("could not write %s\n", kPath);
            return 1;
        }
    }
    const std::string bytes = readAll(kPath);

    auto expatRun = [&] {
        XML_Parser p = XML_ParserCreateNS("utf-8", ':');
        XML_Parse(p, bytes.data(), int(bytes.size()), XML_TRUE);
        XML_ParserFree(p);
    };
    auto openRun = [&] {
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(String(kPath));
        SimpleArray<String> names;
        repo->getProfileNames(names);
        g_sink = names.count();
    };
    auto fileReadRun = [&] {
        SimpleArray<char> raw;
        FileAccess::readWholeFile(String(kPath), &raw);
        g_sink = raw.count();
    };
    auto fromTextRun = [&] {
        AutoPtr<XmlParse::XmlElement> root = XmlParse::parseXmlString(bytes.data(), uint32_t(bytes.size()), "bench");
        for (uint32_t i = 0; i < root->getChildCount(); ++i) {
            ProfileXml::ProfileData data;
            ProfileXml::importXml(*root->getChild(i), &data);
            g_sink = data.params.name.length();
        }
    };
    auto treeOnlyRun = [&] {
        g_sink = XmlParse::parseXmlString(bytes.data(), uint32_t(bytes.size()), "bench")->getChildCount();
    };

    // Each reading and its Expat baseline alternate, round by round, so that
    // a busy machine weighs on all of them alike; the medians are compared.
    std::vector<double> t[5];
    for (int r = 0; r < 21; ++r) {
        t[0].push_back(medianSeconds(1, expatRun));
        t[1].push_back(medianSeconds(1, openRun));
        t[2].push_back(medianSeconds(1, fileReadRun));
        t[3].push_back(medianSeconds(1, fromTextRun));
        t[4].push_back(medianSeconds(1, treeOnlyRun));
    }
    for (auto& v : t)
        std::sort(v.begin(), v.end());
    const double expat = t[0][10], open = t[1][10], fileRead = t[2][10], fromText = t[3][10], treeOnly = t[4][10];
    AutoPtr<ProfileRepository> repo = ProfileRepository::create(String(kPath));
    // The repository's write and the baseline alternate, so that a busy
    // machine (the flush to disk varies most) weighs on both alike. The
    // order turns round by round: whichever write comes first after the
    // previous round's pays more for the flush, so none may always be first.
    // Besides the medians, the median of each round's own ratio.
    std::vector<double> saveTimes, durableTimes, replaceTimes, saveRatios, replaceRatios;
    for (int r = 0; r < 21; ++r) {
        double t[3];
        for (int k = 0; k < 3; ++k) {
            switch ((r + k) % 3) {
            case 0: t[0] = medianSeconds(1, [&] { repo->saveAs(String(kCopy)); }); break;
            case 1: t[1] = medianSeconds(1, [&] { durableWrite(kCopy, bytes); }); break;
            default: t[2] = medianSeconds(1, [&] { FileAccess::replaceFile(String(kCopy), bytes.data(), uint32_t(bytes.size())); }); break;
            }
        }
        saveTimes.push_back(t[0]);
        durableTimes.push_back(t[1]);
        replaceTimes.push_back(t[2]);
        saveRatios.push_back(t[0] / t[1]);
        replaceRatios.push_back(t[2] / t[1]);
    }
    for (auto* v : {&saveTimes, &durableTimes, &replaceTimes, &saveRatios, &replaceRatios})
        std::sort(v->begin(), v->end());
    const double replaceOnly = replaceTimes[replaceTimes.size() / 2];
    const double saveAs = saveTimes[saveTimes.size() / 2], durable = durableTimes[durableTimes.size() / 2];
    repo->saveAs(String(kCopy));
    const bool same = readAll(kCopy) == bytes;
    double plainWrite = medianSeconds(15, [&] {
        FILE* f = std::fopen(kCopy, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    });
    SimpleArray<String> names;
    repo->getProfileNames(names);
    double build = medianSeconds(15, [&] {
        std::string doc = ProfileXml::getXmlHeader().c_str();
        for (const String& n : names) {
            AutoPtr<const Profile> p = static_cast<const ProfileRepository&>(*repo).loadProfile(n);
            ProfileXml::appendCommentLine(doc, n);
            ProfileXml::appendXmlBody(doc, p->getParams(), n, p->getDescription(), p->isReadOnly());
        }
        doc += ProfileXml::getXmlFooter();
        g_sink = doc.size();
    });
#ifdef _WIN32
    // Naming the file as reads and writes do (absolute, long form).
    const double naming = medianSeconds(15, [&] { g_sink = _Svr_Internal_NS_::canonicalPath(String(kCopy)).length(); });
#endif
    repo = nullptr;
    std::remove(kPath);
    std::remove(kCopy);

    std::printf("repository of %u profiles, %zu bytes; Expat alone: %.2f ms\n", names.count(), bytes.size(),
                expat * 1e3);
    std::printf("read file into profiles:   %.2f ms (%.1fx Expat alone)\n", open * 1e3, open / expat);
    std::printf("  of which the file read:  %.2f ms (%.1fx Expat alone)\n", fileRead * 1e3, fileRead / expat);
    std::printf("read text into profiles:   %.2f ms (%.1fx Expat alone)\n", fromText * 1e3, fromText / expat);
    std::printf("  of which element tree:   %.2f ms (%.1fx Expat alone)\n", treeOnly * 1e3, treeOnly / expat);
    std::printf("build the document text:   %.2f ms (%.1fx Expat alone)\n", build * 1e3, build / expat);
    std::printf("write, flush, rename:      %.2f ms (the same bytes, the baseline of the next lines)\n", durable * 1e3);
    std::printf("write the file (saveAs):   %.2f ms (%.1fx write, flush, rename; per round %.1fx; %.1fx fwrite "
                "alone)%s\n", saveAs * 1e3, saveAs / durable, saveRatios[saveRatios.size() / 2], saveAs / plainWrite,
                same ? "" : "  [written bytes differ!]");
    std::printf("  of which the file layer: %.2f ms (%.1fx write, flush, rename; per round %.1fx)\n", replaceOnly * 1e3,
                replaceOnly / durable, replaceRatios[replaceRatios.size() / 2]);
#ifdef _WIN32
    std::printf("  of which naming the file: %.2f ms (absolute path, long form)\n", naming * 1e3);
#endif
    return same ? 0 : 1;
}
