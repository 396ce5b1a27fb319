// The range table on arbitrary records. The input fills the numeric fields
// of the table in its order (four bytes each, little-endian; missing bytes
// read as 0), then one byte each for the enumerations and flags. A record
// that the entry check takes must be written, read back and written again
// without any refusal, the record read passes the check as well, and from
// the second writing on the text no longer changes.
#include <cstdint>
#include <cstdlib>

#include "baselib/svr_error.h"
#include "profile/djv_fieldranges.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"

using namespace Solvaris;
using namespace Solvaris::DjVu;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(byte()) << (8 * i);
        return v;
    }
};

String written(const DjVuEncoder::Params& p) {
    return ProfileXml::getXmlHeader() + ProfileXml::getXmlBody(p, String("p"), String(), false) +
           String(ProfileXml::getXmlFooter());
}

DjVuEncoder::Params readBack(const String& text) {
    AutoPtr<XmlParse::XmlElement> root = XmlParse::parseXmlString(text, nullptr);
    ProfileXml::ProfileData data;
    ProfileXml::importXml(*root, &data);
    return data.params;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    DjVuEncoder::Params p;
    for (uint32_t i = 0; i < FieldRanges::rowCount; ++i) {
        const FieldRanges::Field& f = FieldRanges::table()[i];
        if (FieldRanges::isRanged(f))
            f.set(FieldRanges::recordIn(p, f.record), in.word());
    }
    p.encodeMode = DjVuEncoder::EncodeMode(in.byte());
    p.emptyMaskProcess = DjVuEncoder::EmptyMaskProcess(in.byte());
    p.bitonalEncoding = DjVuEncoder::BitonalEncoding(in.byte());
    p.pictureEncoding = DjVuEncoder::PictureEncoding(in.byte());
    p.jb2.noiseReduction = JB2Params::NoiseReduction(in.byte());
    p.fgParams.intent = IW44Encoder::ChunkIntent(in.byte());
    p.fgParams.cbcrMode = IW44Encoder::CbCrMode(in.byte());
    p.bgParams.intent = IW44Encoder::ChunkIntent(in.byte());
    p.bgParams.cbcrMode = IW44Encoder::CbCrMode(in.byte());
    p.dictMode = in.byte() & 1;
    p.flexEncode = in.byte() & 1;
    p.jb2.sortShapes = in.byte() & 1;
    try {
        FieldRanges::checkParams(p);
    } catch (const Exception&) {
        return 0;   // refused on entry: never reaches a file
    }
    // Taken: nothing below may throw.
    DjVuEncoder::Params first = readBack(written(p));
    FieldRanges::checkParams(first);
    const String second = written(first);
    if (written(readBack(second)) != second)
        std::abort();
    return 0;
}
