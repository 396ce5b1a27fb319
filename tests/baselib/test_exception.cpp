#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "baselib/alloc_probe.h"
#include "baselib/debug_file_env.h"
#include "baselib/svr_error.h"

using Solvaris::Exception;
using Solvaris::String;

namespace {

struct Site {
    std::string file, function;
    int line = 0;
};

// Throws from a known place and reports that place.
template <class Text>
Exception throwFrom(Site* site, int code, const Text& text) {
    site->file = __FILE__;
    site->function = SVR_FUNCSIG;
    try {
        site->line = __LINE__ + 1;
        SVR_THROW(code, text);
    } catch (const Exception& e) {
        return e;
    }
    return Exception(0, "unreachable", "", 0, "");
}

std::string expectedLine(const Site& s, int code, const std::string& text) {
    return s.file + "(" + std::to_string(s.line) + ") : " + s.function + ": Error " + std::to_string(code) + ": " +
           text + "\n";
}

std::string bytes(const String& s) {
    return std::string(s.c_str(), s.length());
}

} // namespace

TEST(ExceptionMessage, LineNamesFileLineFunctionCodeAndText) {
    struct Case { int code; const char* text; } cases[] = {
        {Solvaris::errInvalidParam, "errInvalidParam"},
        {Solvaris::errDataBroken, "bad digits 0x%s %d"},   // the text is not a format
        {Solvaris::errInternalError, ""},
        {Solvaris::errUnlockFailed, "x"},
    };
    for (const auto& c : cases) {
        Site site;
        Exception e = throwFrom(&site, c.code, c.text);
        EXPECT_EQ(e.code(), c.code);
        EXPECT_EQ(bytes(e.message()), expectedLine(site, c.code, c.text));
        EXPECT_STREQ(e.what(), expectedLine(site, c.code, c.text).c_str());

        Site site2;
        Exception f = throwFrom(&site2, c.code, String(c.text));
        EXPECT_EQ(bytes(f.message()), expectedLine(site2, c.code, c.text));
    }
    Site site;
    Exception empty = throwFrom(&site, 7, "");
    std::string m = bytes(empty.message());
    EXPECT_EQ(m.substr(m.size() - 10), "Error 7: \n");
    EXPECT_NE(site.function.find("throwFrom"), std::string::npos);
}

TEST(ExceptionMessage, CodeNameMacroAndUtf8Text) {
    try {
        SVR_THROW_CODE(errDataBroken);
    } catch (const Exception& e) {
        std::string m = bytes(e.message());
        EXPECT_EQ(m.substr(m.size() - 26), ": Error 20: errDataBroken\n");
    }
    // UTF-8 text passes through the String form unchanged.
    Site site;
    Exception e = throwFrom(&site, 12, String("Datei \xC3\xA4 fehlt"));
    EXPECT_EQ(bytes(e.message()), expectedLine(site, 12, "Datei \xC3\xA4 fehlt"));
}

TEST(ExceptionCopy, SharesTheMessageBufferAndKeepsFields) {
    Solvaris::PlatformException p(Solvaris::errNotFound, 2u, String("text CreateFileW"), "f.cpp", 9, "");
    Solvaris::PlatformException copy(p);
    EXPECT_EQ(copy.code(), 12);
    EXPECT_EQ(copy.platformError(), 2u);
    EXPECT_TRUE(copy.message().sharesBufferWith(p.message()));
    EXPECT_STREQ(copy.what(), "f.cpp(9) : : Error 12: text CreateFileW\n");

    Exception base = p;   // slicing keeps code and message
    EXPECT_TRUE(base.message().sharesBufferWith(p.message()));
    try {
        throw copy;
    } catch (const Exception& e) {
        EXPECT_EQ(dynamic_cast<const Solvaris::PlatformException&>(e).platformError(), 2u);
    }
}

TEST(ExceptionWhat, FallsBackWhenTheMessageCannotBeConverted) {
    Exception e(Solvaris::errOperationFailed, "message", "a.cpp", 1, "f");
    // A copy has no converted form yet; with memory exhausted it cannot make one.
    AllocProbe probe;
    probe.failAllocations = true;
    Exception copy(e);
    EXPECT_STREQ(copy.what(), "No error message obtained...");
    EXPECT_EQ(copy.code(), Solvaris::errOperationFailed);
}

TEST(ExceptionWhat, BuildingUnderExhaustedMemoryStillThrows) {
    AllocProbe probe;
    probe.failAllocations = true;
    int code = 0;
    try {
        SVR_THROW(Solvaris::errNotFound, "no memory for this text");
    } catch (const Exception& e) {
        code = e.code();
        EXPECT_NE(e.what(), nullptr);
    }
    EXPECT_EQ(code, Solvaris::errNotFound);
}

class DebugFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = std::string("h1_debugfile_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                 ".txt";
        std::remove(m_path.c_str());
    }
    void TearDown() override {
        DebugFileEnv::clear();
        std::remove(m_path.c_str());
    }
    // The file's text with the platform's line ends read back as "\n".
    std::string contents() const {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string s = ss.str(), out;
        for (size_t i = 0; i < s.size(); ++i)
            if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
                out += s[i];
        return out;
    }
    std::string m_path;
};

TEST_F(DebugFile, ExceptionsAndPrintfAreAppended) {
    DebugFileEnv::set(m_path.c_str());
    std::string expected;
    for (int i = 0; i < 3; ++i) {
        try {
            SVR_THROW(Solvaris::errReadFailed, String::format("short read %d", i));
        } catch (const Exception& e) {
            expected += e.message().c_str();
        }
    }
    EXPECT_TRUE(Solvaris::debugFilePrintf("value=%d %s|", 42, "done"));
    EXPECT_TRUE(Solvaris::appendDebugFile("raw text"));
    EXPECT_EQ(contents(), expected + "value=42 done|raw text");
}

TEST_F(DebugFile, UnsetEmptyOrUnusablePathWritesNothing) {
    // The file named before stays as it was once the variable is gone.
    DebugFileEnv::set(m_path.c_str());
    ASSERT_TRUE(Solvaris::appendDebugFile("before|"));
    DebugFileEnv::clear();
    EXPECT_FALSE(Solvaris::appendDebugFile("x"));
    EXPECT_FALSE(Solvaris::debugFilePrintf("%d", 1));
    EXPECT_THROW(SVR_THROW_CODE(errEOF), Exception);
    EXPECT_EQ(contents(), "before|");

    DebugFileEnv::set("");
    EXPECT_FALSE(Solvaris::appendDebugFile("x"));

    DebugFileEnv::set("no_such_folder_h1/sub/debug.txt");
    EXPECT_FALSE(Solvaris::appendDebugFile("x"));
    EXPECT_THROW(SVR_THROW_CODE(errEOF), Exception);

    // A name longer than a path may be is refused rather than cut short.
    DebugFileEnv::set((std::string(261, 'n')).c_str());
    EXPECT_FALSE(Solvaris::appendDebugFile("x"));
}
