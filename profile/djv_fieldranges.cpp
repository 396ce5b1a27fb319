#include "profile/djv_fieldranges.h"

#include "baselib/svr_error.h"

namespace Solvaris {
namespace DjVu {
namespace FieldRanges {

namespace {

typedef DjVuEncoder::Params P;
const uint32_t kAll = 0xFFFFFFFFu;

// The reader stores a tripled refine threshold when a quality policy is
// given (at most 3 x 100), and reads such a value back without a policy.
const FieldRange kTable[rowCount] = {
    {"dictFreq", "profile", nullptr, "dict-freq", 0, 65535, [](P& p) -> uint32_t& { return p.dictFreq; }},
    {"binThreshold", "profile", nullptr, "bin-threshold", 0, 255, [](P& p) -> uint32_t& { return p.binThreshold; }},
    // Tenths (0.2 to 10.0); the reader keeps the current value for others.
    {"gamma", "profile", nullptr, "gamma", 2, 100, [](P& p) -> uint32_t& { return p.gamma; }},
    {"fgSubsample", "iw44", "foreground", "subsample", 1, 12, [](P& p) -> uint32_t& { return p.fgSubsample; }},
    {"fgEnhancer", "iw44", "foreground", "enhancer", 0, 256, [](P& p) -> uint32_t& { return p.fgEnhancer; }},
    {"bgSubsample", "iw44", "background", "subsample", 1, 12, [](P& p) -> uint32_t& { return p.bgSubsample; }},
    {"bgEnhancer", "iw44", "background", "enhancer", 0, 256, [](P& p) -> uint32_t& { return p.bgEnhancer; }},
    {"segmenter.blockSize", "segmenter", nullptr, "block-size", 4, kAll,
     [](P& p) -> uint32_t& { return p.segmenter.blockSize; }},
    {"segmenter.maxSizeOfNoiseObj", "segmenter", nullptr, "max-size-of-noise-obj", 0, 64,
     [](P& p) -> uint32_t& { return p.segmenter.maxSizeOfNoiseObj; }},
    {"segmenter.noiseHueThreshold", "segmenter", nullptr, "noise-hue-threshold", 0, 256,
     [](P& p) -> uint32_t& { return p.segmenter.noiseHueThreshold; }},
    {"segmenter.upsample", "segmenter", nullptr, "upsample", 1, 16,
     [](P& p) -> uint32_t& { return p.segmenter.upsample; }},
    {"segmenter.blurRadius", "segmenter", nullptr, "blur-radius", 1, 8,
     [](P& p) -> uint32_t& { return p.segmenter.blurRadius; }},
    {"segmenter.bgColorThreshold", "segmenter", nullptr, "bg-color-threshold", 0, 255,
     [](P& p) -> uint32_t& { return p.segmenter.bgColorThreshold; }},
    {"jb2.refineThreshold", "jb2", nullptr, "refine-threshold", 0, 300,
     [](P& p) -> uint32_t& { return p.jb2.refineThreshold; }},
    {"jb2.matchThreshold", "jb2", nullptr, "match-threshold", 0, 100,
     [](P& p) -> uint32_t& { return p.jb2.matchThreshold; }},
    {"jb2.centerDiffThreshold", "jb2", nullptr, "center-diff-threshold", 0, 4,
     [](P& p) -> uint32_t& { return p.jb2.centerDiffThreshold; }},
    {"jb2.maxPalettes", "jb2", nullptr, "max-palettes", 0, 65535,
     [](P& p) -> uint32_t& { return p.jb2.maxPalettes; }},
    {"jb2.pageShapeThreshold", "jb2", nullptr, "page-shape-threshold", 0, kAll,
     [](P& p) -> uint32_t& { return p.jb2.pageShapeThreshold; }},
    {"jb2.flags", "jb2", nullptr, "flags", 0, kAll, [](P& p) -> uint32_t& { return p.jb2.flags; }},
    {"jb2.regionRecog.distLongMax", "region-recog", nullptr, "dist-long-max", 0, 480,
     [](P& p) -> uint32_t& { return p.jb2.regionRecog.distLongMax; }},
    {"jb2.regionRecog.distShortMax", "region-recog", nullptr, "dist-short-max", 0, 192,
     [](P& p) -> uint32_t& { return p.jb2.regionRecog.distShortMax; }},
    {"jb2.regionRecog.noiseThreshold", "region-recog", nullptr, "noise-threshold", 0, 24,
     [](P& p) -> uint32_t& { return p.jb2.regionRecog.noiseThreshold; }},
    {"jb2.regionRecog.colorThreshold", "region-recog", nullptr, "color-threshold", 0, 255,
     [](P& p) -> uint32_t& { return p.jb2.regionRecog.colorThreshold; }},
    {"jb2.regionRecog.overlapThreshold", "region-recog", nullptr, "overlap-threshold", 0, 1000,
     [](P& p) -> uint32_t& { return p.jb2.regionRecog.overlapThreshold; }},
};

[[noreturn]] void refuse(const String& text) {
    throw Exception(errInvalidParam, text, __FILE__, __LINE__, SVR_FUNCSIG);
}

void checkKeyword(const char* field, uint32_t value, KeywordList keywords) {
    const uint32_t n = keywordCount(keywords);
    if (value >= n)
        refuse(String::format("%s should be one of its %u keywords! (value=%u)", field, n, value));
}

void checkLayer(const char* field, const IW44Encoder::Params& layer) {
    checkKeyword((String(field) + String(".intent")).c_str(), layer.intent, IW44Encoder::kIntentKeywords);
    checkKeyword((String(field) + String(".cbcrMode")).c_str(), layer.cbcrMode, IW44Encoder::kCbcrModeKeywords);
    if (layer.sliceCallback || layer.sliceContext)
        refuse(String::format("%s.sliceCallback cannot be serialized!", field));
}

} // namespace

const FieldRange* table() {
    return kTable;
}

void checkParams(const DjVuEncoder::Params& params) {
    // The accessors hand out references into a record; reading through them
    // changes nothing, so the constant record may be looked at this way.
    P& p = const_cast<P&>(params);
    for (const FieldRange& r : kTable) {
        const uint32_t v = r.value(p);
        if (v < r.minimum || v > r.maximum)
            refuse(String::format("%s should be in [%u %u] range! (value=%u)", r.field, r.minimum, r.maximum, v));
    }
    checkKeyword("encodeMode", params.encodeMode, DjVuEncoder::kEncodeModeKeywords);
    checkKeyword("emptyMaskProcess", params.emptyMaskProcess, DjVuEncoder::kEmptyMaskProcessKeywords);
    checkKeyword("bitonalEncoding", params.bitonalEncoding, DjVuEncoder::kBitonalEncodingKeywords);
    checkKeyword("pictureEncoding", params.pictureEncoding, DjVuEncoder::kPictureEncodingKeywords);
    checkKeyword("jb2.noiseReduction", params.jb2.noiseReduction, JB2Params::kNoiseReductionKeywords);
    checkLayer("fgParams", params.fgParams);
    checkLayer("bgParams", params.bgParams);
}

} // namespace FieldRanges
} // namespace DjVu
} // namespace Solvaris
