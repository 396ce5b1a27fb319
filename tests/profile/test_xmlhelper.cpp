#include <gtest/gtest.h>

#include <string>

#include "profile/djv_xmlhelper.h"
#include "profile_test_support.h"

using namespace profile_test;
using Solvaris::DjVu::KeywordList;
using Solvaris::DjVu::XmlParse::kXmlNamespaceUri;
using Solvaris::DjVu::XmlParse::parseXmlString;

namespace {
const std::string kNs = "http://example.test/ns/";
}

TEST(XmlLayer, NamesTextAndTreeInEverySplit) {
    const std::string doc =
        "<?xml version=\"1.0\"?>\n"
        "<r:top xmlns:r=\"" + kNs + "\" a=\"1\" r:b=\"2\">\n"
        "  <r:child> \t spaced text \n</r:child>\n"
        "  <plain xml:space=\"preserve\">  kept  <inner>  also kept </inner></plain>\n"
        "  <r:child>caf\xC3\xA9 &amp; &#x3000;x&#x3000;</r:child>\n"
        "</r:top>\n";
    forEachSplit(doc, [&](const XmlElement& top) {
        EXPECT_EQ(str(top.getName()), kNs + ":top");
        EXPECT_EQ(str(top.getAttrString("a")), "1");
        EXPECT_EQ(str(top.getAttrString((kNs + ":b").c_str())), "2");
        EXPECT_EQ(top.getParent(), nullptr);   // the synthetic root went with the parser
        ASSERT_EQ(top.getChildCount(), 3u);
        EXPECT_EQ(str(top.getChild(0)->getName()), kNs + ":child");
        EXPECT_EQ(top.getChild(0)->getParent(), &top);
        // Pieces are trimmed one by one; the result joins what is left.
        std::string t0 = str(top.getChild(0)->getText());
        EXPECT_EQ(t0.front(), 's');
        EXPECT_EQ(t0.back(), 't');
        EXPECT_NE(t0.find("spaced"), std::string::npos);

        const XmlElement& plain = *top.getChild(1);
        EXPECT_EQ(str(plain.getName()), "plain");   // no namespace: local name alone
        EXPECT_TRUE(plain.preservesSpace());
        EXPECT_TRUE(plain.getChild(0)->preservesSpace());   // inherited
        EXPECT_EQ(str(plain.getChild(0)->getText()), "  also kept ");
        // The end of an element with children keeps the text since the last
        // start tag.
        EXPECT_EQ(str(plain.getText()), "  also kept ");
        EXPECT_TRUE(plain.hasAttr((std::string(kXmlNamespaceUri) + ":space").c_str()));
        EXPECT_FALSE(top.preservesSpace());

        // Expat hands references over as pieces of their own; U+3000 and
        // blanks are trimmed away.
        EXPECT_EQ(str(top.getChild(2)->getText()), "caf\xC3\xA9&x");
    });
}

TEST(XmlLayer, AttributeReaders) {
    AutoPtr<XmlElement> e = parseXmlString(
        S("<e n1=\"12abc\" n2=\"abc\" n3=\"70000\" n4=\"4294967297\" n5=\" 7\" k=\"fg44\" k2=\"\" k3=\"bogus\""
          " b1=\"On\" b2=\"1\" b3=\"TRUE\" b4=\"yes \" c1=\"#ff00AA\" c2=\"none\" c3=\"#\" c4=\"#123456789\"/>"),
        "attrs");
    static const char* const kw[] = {"IW44", "BG44", "FG44", ""};
    struct NumCase { const char* name; uint32_t def, max, min; int code; uint32_t want; } nums[] = {
        {"n1", 0, 100, 0, 0, 12},
        {"n2", 5, 100, 0, 0, 0},
        {"n2", 5, 100, 1, 20, 0},          // no digits read as 0, below the minimum
        {"n3", 256, 65535, 0, 20, 0},
        {"n4", 0, 0xFFFFFFFFu, 0, 0, 1},   // wraps modulo 2^32
        {"n5", 9, 100, 0, 0, 0},           // no blanks skipped
        {"absent", 300, 100, 0, 0, 300},   // default unchecked
    };
    for (const NumCase& c : nums) {
        SCOPED_TRACE(c.name);
        uint32_t got = 0;
        EXPECT_EQ(codeOf([&] { got = e->getAttr(c.name, c.def, c.max, c.min); }), c.code);
        if (c.code == 0) {
            EXPECT_EQ(got, c.want);
        }
    }
    EXPECT_EQ(e->getAttr("k", kw, 9), 2u);
    EXPECT_EQ(e->getAttr("absent", kw, 9), 9u);
    EXPECT_TRUE(failsWith([&] { e->getAttr("k3", kw, 0); }, Solvaris::errDataBroken, "Unknown value 'bogus' on k3!"));
    // The closing empty entry is no keyword.
    EXPECT_TRUE(failsWith([&] { e->getAttr("k2", kw, 0); }, Solvaris::errDataBroken, "Unknown value '' on k2!"));

    struct BoolCase { const char* name; bool want; } bools[] = {
        {"b1", true}, {"b2", false}, {"b3", true}, {"b4", false}, {"absent", false}};
    for (const BoolCase& c : bools)
        EXPECT_EQ(e->getAttrBool(c.name), c.want) << c.name;

    struct ColorCase { const char* name; uint32_t want; } colors[] = {
        {"c1", 0xFF00AA}, {"c2", 77}, {"c3", 0}, {"c4", 77}, {"absent", 77}};
    for (const ColorCase& c : colors)
        EXPECT_EQ(e->getAttrColor(c.name, 77), c.want) << c.name;
}

TEST(XmlLayer, FailuresAreClearErrors) {
    struct Case { const char* doc; int code; const char* tail; } cases[] = {
        {"", Solvaris::errNoContent, "No XML root element!\n"},
        {"<a>\n<b></a>", Solvaris::errDataBroken, "doc(2) : XML error: mismatched tag\n"},
        // Cut short: reported, not taken as far as it went.
        {"<a><b/>", Solvaris::errDataBroken, "XML error: no element found\n"},
        {"<a x='1' x='2'/>", Solvaris::errDataBroken, "XML error: duplicate attribute\n"},
        // Nothing outside the document is read.
        {"<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>", 0, nullptr},
        // Entity amplification is stopped by Expat's protection.
        {"<!DOCTYPE a [<!ENTITY a0 \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\">"
         "<!ENTITY a1 \"&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;\">"
         "<!ENTITY a2 \"&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;\">"
         "<!ENTITY a3 \"&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;\">"
         "<!ENTITY a4 \"&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;\">"
         "<!ENTITY a5 \"&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;\">"
         "]><a>&a5;</a>",
         Solvaris::errDataBroken, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.doc);
        for (size_t piece = 0; piece <= 5; ++piece) {
            Thrown t = thrown([&] { parseInPieces(c.doc, piece); });
            EXPECT_EQ(t.code, c.code) << "piece " << piece << ": " << t.message;
            if (c.tail) {
                EXPECT_NE(t.message.find(c.tail), std::string::npos) << t.message;
            }
        }
    }
    // The external entity stayed unread: the element has no text from it.
    AutoPtr<XmlElement> a = parseXmlString(S(cases[4].doc), nullptr);
    EXPECT_EQ(str(a->getText()), "");
    // Without a source name the message says "XML code".
    Thrown t = thrown([] { parseXmlString(S("<a>"), nullptr); });
    EXPECT_NE(t.message.find(": XML code(1) : XML error: "), std::string::npos) << t.message;
}

TEST(XmlLayer, AttachedNamespaceManagerRecordsDeclarations) {
    const std::string doc = "<a xmlns:p=\"urn:one\" xmlns=\"urn:default\"><p:b xmlns:q=\"urn:two\"/><c/></a>";
    forEachSplit(doc, [](const XmlElement& a) {
        ASSERT_NE(a.getNamespaceManager(), nullptr);
        EXPECT_EQ(str(a.getNamespaceManager()->uriOf(S("p"))), "urn:one");
        EXPECT_EQ(str(a.getNamespaceManager()->prefixOf(S("urn:default"))), "");
        const XmlElement& b = *a.getChild(0);
        EXPECT_EQ(str(b.getName()), "urn:one:b");
        // Declarations of an inner element do not leak to its siblings.
        EXPECT_EQ(str(b.getNamespaceManager()->uriOf(S("q"))), "urn:two");
        EXPECT_EQ(str(b.getNamespaceManager()->uriOf(S("p"))), "urn:one");
        EXPECT_EQ(str(a.getChild(1)->getNamespaceManager()->uriOf(S("q"))), "");
        EXPECT_EQ(str(a.getChild(1)->getName()), "urn:default:c");
    }, true);
}
