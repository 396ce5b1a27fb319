#include "profile/djv_fieldranges.h"

#include "baselib/svr_error.h"

namespace Solvaris {
namespace DjVu {
namespace FieldRanges {

namespace {

typedef DjVuEncoder::Params P;
typedef IW44Encoder::Params L;
typedef SegmenterParams S;
typedef JB2Params J;
typedef RegionRecogParams R;
typedef DjVuEncoder E;
const uint32_t kAll = 0xFFFFFFFFu;

// The accessors of a member of record type T (numbers, enumerations, flags).
#define NUMBER(T, m)                                                                  \
    [](const void* r) -> uint32_t { return uint32_t(static_cast<const T*>(r)->m); }, \
        [](void* r, uint32_t v) { static_cast<T*>(r)->m = decltype(T::m)(v); }, nullptr
#define TEXT(T, m) nullptr, nullptr, [](void* r) -> String& { return static_cast<T*>(r)->m; }

using K = Kind;
using O = Omit;
using X = Element;
using Y = Layer;
using C = Record;

// The reader stores a tripled refine threshold when a quality policy is
// given (at most 3 x 100), and reads such a value back without a policy.
// Gamma is in tenths (0.2 to 10.0). The segmenter's background colour
// threshold is 0 in a new record but 17 in a profile that leaves it out, and
// a profile without "dict-freq" or "flex-encode" turns them off.
constexpr Field kTable[rowCount] = {
    // field, element, layer, attribute, kind, omitted,
    // minimum, maximum, keywords, default, missing, missing from the intent, record, accessors
    {"dictMode", X::none, Y::both, nullptr, K::number, O::never,
     0, kAll, nullptr, 1, 0, nullptr, C::main, NUMBER(P, dictMode)},
    {"name", X::none, Y::both, nullptr, K::text, O::never,
     0, 0, nullptr, 0, 0, nullptr, C::main, TEXT(P, name)},
    {"dictFreq", X::profile, Y::both, "dict-freq", K::number, O::withoutDict,
     0, 65535, nullptr, 20, 0, nullptr, C::main, NUMBER(P, dictFreq)},
    {"encodeMode", X::profile, Y::both, "encode-mode", K::encodeMode, O::whenZero,
     0, 0, &E::kEncodeModeKeywords, E::mode3Layer, E::modeAuto, nullptr, C::main, NUMBER(P, encodeMode)},
    {"emptyMaskProcess", X::profile, Y::both, "empty-mask-process", K::keyword, O::whenZero,
     0, 0, &E::kEmptyMaskProcessKeywords, 0, 0, nullptr, C::main, NUMBER(P, emptyMaskProcess)},
    {"flexEncode", X::profile, Y::both, "flex-encode", K::flag, O::whenZero,
     0, 1, nullptr, 1, 0, nullptr, C::main, NUMBER(P, flexEncode)},
    {"blackCompensation", X::profile, Y::both, "black-compensation", K::flag, O::whenZero,
     0, 1, nullptr, 0, 0, nullptr, C::main, NUMBER(P, blackCompensation)},
    {"upsample", X::profile, Y::both, "upsample", K::keepNonZero, O::atMostOne,
     0, kAll, nullptr, 1, 0, nullptr, C::main, NUMBER(P, upsample)},
    {"subsample", X::profile, Y::both, "subsample", K::keepNonZero, O::atMostOne,
     0, kAll, nullptr, 1, 0, nullptr, C::main, NUMBER(P, subsample)},
    {"postSegmentSubsample", X::profile, Y::both, "post-segment-subsample", K::keepNonZero, O::atMostOne,
     0, kAll, nullptr, 1, 0, nullptr, C::main, NUMBER(P, postSegmentSubsample)},
    {"jpxParams", X::profile, Y::both, "jpx-params", K::text, O::whenZero,
     0, 0, nullptr, 0, 0, nullptr, C::main, TEXT(P, jpxParams)},
    {"fgJpxParams", X::profile, Y::both, "fg-jpx-params", K::text, O::whenZero,
     0, 0, nullptr, 0, 0, nullptr, C::main, TEXT(P, fgJpxParams)},
    {"binThreshold", X::profile, Y::both, "bin-threshold", K::number, O::never,
     0, 255, nullptr, 240, 240, nullptr, C::main, NUMBER(P, binThreshold)},
    {"gamma", X::profile, Y::both, "gamma", K::tenths, O::atDefault,
     2, 100, nullptr, 22, 22, nullptr, C::main, NUMBER(P, gamma)},
    {"bitonalEncoding", X::profile, Y::both, "bitonal-encoding", K::keyword, O::whenZero,
     0, 0, &E::kBitonalEncodingKeywords, 0, 0, nullptr, C::main, NUMBER(P, bitonalEncoding)},
    {"pictureEncoding", X::profile, Y::both, "picture-encoding", K::keyword, O::whenZero,
     0, 0, &E::kPictureEncodingKeywords, 0, 0, nullptr, C::main, NUMBER(P, pictureEncoding)},
    {"flags", X::profile, Y::both, "flags", K::number, O::whenZero,
     0, kAll, nullptr, 0, 0, nullptr, C::main, NUMBER(P, flags)},

    {"intent", X::iw44, Y::both, "intent", K::keyword, O::never,
     0, 0, &IW44Encoder::kIntentKeywords, IW44Encoder::intentBG44, IW44Encoder::intentBG44, nullptr,
     C::layer, NUMBER(L, intent)},
    {"cbcrMode", X::iw44, Y::both, "cbcr-mode", K::keyword, O::never,
     0, 0, &IW44Encoder::kCbcrModeKeywords, IW44Encoder::cbcrNormal, IW44Encoder::cbcrNormal, nullptr,
     C::layer, NUMBER(L, cbcrMode)},
    {"cbcrDelay", X::iw44, Y::both, "cbcr-delay", K::cbcrDelay, O::never,
     0, kAll, nullptr, IW44Encoder::kCbCrDelayAuto, IW44Encoder::kCbCrDelayAuto, nullptr,
     C::layer, NUMBER(L, cbcrDelay)},
    // Written and read with the layer's chunk list, which it stands for.
    {"quality", X::none, Y::both, "quality", K::number, O::never,
     0, kAll, nullptr, 75, 75, nullptr, C::layer, NUMBER(L, quality)},
    {"fgSubsample", X::iw44, Y::foreground, "subsample", K::number, O::never,
     1, 12, nullptr, 12, 0, IW44Encoder::defaultSubsample, C::main, NUMBER(P, fgSubsample)},
    {"fgEnhancer", X::iw44, Y::foreground, "enhancer", K::number, O::whenZero,
     0, 256, nullptr, 0, 0, nullptr, C::main, NUMBER(P, fgEnhancer)},
    {"bgSubsample", X::iw44, Y::background, "subsample", K::number, O::never,
     1, 12, nullptr, 3, 0, IW44Encoder::defaultSubsample, C::main, NUMBER(P, bgSubsample)},
    {"bgEnhancer", X::iw44, Y::background, "enhancer", K::number, O::whenZero,
     0, 256, nullptr, 0, 0, nullptr, C::main, NUMBER(P, bgEnhancer)},

    {"segmenter.blockSize", X::segmenter, Y::both, "block-size", K::number, O::never,
     4, kAll, nullptr, 16, 16, nullptr, C::segmenter, NUMBER(S, blockSize)},
    {"segmenter.maxSizeOfNoiseObj", X::segmenter, Y::both, "max-size-of-noise-obj", K::number, O::never,
     0, 64, nullptr, 4, 4, nullptr, C::segmenter, NUMBER(S, maxSizeOfNoiseObj)},
    {"segmenter.noiseHueThreshold", X::segmenter, Y::both, "noise-hue-threshold", K::number, O::never,
     0, 256, nullptr, 8, 8, nullptr, C::segmenter, NUMBER(S, noiseHueThreshold)},
    {"segmenter.upsample", X::segmenter, Y::both, "upsample", K::number, O::never,
     1, 16, nullptr, 1, 1, nullptr, C::segmenter, NUMBER(S, upsample)},
    {"segmenter.blurRadius", X::segmenter, Y::both, "blur-radius", K::number, O::never,
     1, 8, nullptr, 1, 1, nullptr, C::segmenter, NUMBER(S, blurRadius)},
    {"segmenter.detectEdge", X::segmenter, Y::both, "detect-edge", K::flag, O::never,
     0, 1, nullptr, 0, 0, nullptr, C::segmenter, NUMBER(S, detectEdge)},
    {"segmenter.thickenShapes", X::segmenter, Y::both, "thicken-shapes", K::flag, O::never,
     0, 1, nullptr, 0, 0, nullptr, C::segmenter, NUMBER(S, thickenShapes)},
    {"segmenter.useFgIfEmpty", X::segmenter, Y::both, "use-fg-if-empty", K::flag, O::never,
     0, 1, nullptr, 0, 0, nullptr, C::segmenter, NUMBER(S, useFgIfEmpty)},
    {"segmenter.bgColorAutodetect", X::segmenter, Y::both, "bg-color-autodetect", K::flag, O::never,
     0, 1, nullptr, 0, 0, nullptr, C::segmenter, NUMBER(S, bgColorAutodetect)},
    {"segmenter.bgColorExpected", X::segmenter, Y::both, "bg-color-expected", K::color, O::never,
     0, kAll, nullptr, kAll, kAll, nullptr, C::segmenter, NUMBER(S, bgColorExpected)},
    {"segmenter.bgColorThreshold", X::segmenter, Y::both, "bg-color-threshold", K::number, O::never,
     0, 255, nullptr, 0, 17, nullptr, C::segmenter, NUMBER(S, bgColorThreshold)},
    {"segmenter.useNonBlurred", X::segmenter, Y::both, "use-non-blurred", K::flag, O::never,
     0, 1, nullptr, 0, 0, nullptr, C::segmenter, NUMBER(S, useNonBlurred)},

    {"jb2.matchThreshold", X::jb2, Y::both, "match-threshold", K::number, O::never,
     0, 100, nullptr, 12, 12, nullptr, C::jb2, NUMBER(J, matchThreshold)},
    {"jb2.refineThreshold", X::jb2, Y::both, "refine-threshold", K::number, O::never,
     0, 300, nullptr, 60, 60, nullptr, C::jb2, NUMBER(J, refineThreshold)},
    {"jb2.centerDiffThreshold", X::jb2, Y::both, "center-diff-threshold", K::number, O::never,
     0, 4, nullptr, 1, 1, nullptr, C::jb2, NUMBER(J, centerDiffThreshold)},
    {"jb2.maxPalettes", X::jb2, Y::both, "max-palettes", K::number, O::never,
     0, 65535, nullptr, 256, 256, nullptr, C::jb2, NUMBER(J, maxPalettes)},
    {"jb2.sortShapes", X::jb2, Y::both, "sort-shapes", K::flag, O::whenZero,
     0, 1, nullptr, 0, 0, nullptr, C::jb2, NUMBER(J, sortShapes)},
    {"jb2.noiseReduction", X::jb2, Y::both, "noise-reduction", K::keyword, O::whenZero,
     0, 0, &JB2Params::kNoiseReductionKeywords, 0, 0, nullptr, C::jb2, NUMBER(J, noiseReduction)},
    {"jb2.pageShapeThreshold", X::jb2, Y::both, "page-shape-threshold", K::number, O::whenZero,
     0, kAll, nullptr, 0, 0, nullptr, C::jb2, NUMBER(J, pageShapeThreshold)},
    {"jb2.flags", X::jb2, Y::both, "flags", K::number, O::whenZero,
     0, kAll, nullptr, 0, 0, nullptr, C::jb2, NUMBER(J, flags)},

    {"jb2.regionRecog.distLongMax", X::regionRecog, Y::both, "dist-long-max", K::number, O::never,
     0, 480, nullptr, 60, 60, nullptr, C::regionRecog, NUMBER(R, distLongMax)},
    {"jb2.regionRecog.distShortMax", X::regionRecog, Y::both, "dist-short-max", K::number, O::never,
     0, 192, nullptr, 24, 24, nullptr, C::regionRecog, NUMBER(R, distShortMax)},
    {"jb2.regionRecog.noiseThreshold", X::regionRecog, Y::both, "noise-threshold", K::number, O::never,
     0, 24, nullptr, 3, 3, nullptr, C::regionRecog, NUMBER(R, noiseThreshold)},
    {"jb2.regionRecog.colorThreshold", X::regionRecog, Y::both, "color-threshold", K::number, O::never,
     0, 255, nullptr, 10, 10, nullptr, C::regionRecog, NUMBER(R, colorThreshold)},
    {"jb2.regionRecog.overlapThreshold", X::regionRecog, Y::both, "overlap-threshold", K::number, O::never,
     0, 1000, nullptr, 9, 9, nullptr, C::regionRecog, NUMBER(R, overlapThreshold)},
};

#undef NUMBER
#undef TEXT

[[noreturn]] void refuse(const String& text) {
    throw Exception(errInvalidParam, text, __FILE__, __LINE__, SVR_FUNCSIG);
}

void checkKeyword(const String& field, uint32_t value, KeywordList keywords) {
    const uint32_t n = keywordCount(keywords);
    if (value >= n)
        refuse(String::format("%s should be one of its %u keywords! (value=%u)", field.c_str(), n, value));
}

void checkKeywords(const DjVuEncoder::Params& p, Record record, const IW44Encoder::Params* layer, const char* prefix) {
    for (const Field& f : kTable) {
        if (f.record == record && (f.kind == Kind::keyword || f.kind == Kind::encodeMode))
            checkKeyword(String(prefix) + String(f.field), f.get(recordIn(p, record, layer)), *f.keywords);
    }
}

void checkLayer(const DjVuEncoder::Params& p, const char* field, const IW44Encoder::Params& layer) {
    checkKeywords(p, Record::layer, &layer, (String(field) + String(".")).c_str());
    if (layer.sliceCallback || layer.sliceContext)
        refuse(String::format("%s.sliceCallback cannot be serialized!", field));
}

} // namespace

const Field* table() {
    return kTable;
}

const void* recordIn(const DjVuEncoder::Params& p, Record record, const IW44Encoder::Params* layer) {
    switch (record) {
    case Record::main: return &p;
    case Record::layer: return layer;
    case Record::segmenter: return &p.segmenter;
    case Record::jb2: return &p.jb2;
    case Record::regionRecog: return &p.jb2.regionRecog;
    }
    return nullptr;
}

void setDefaults(Record record, void* fields) {
    for (const Field& f : kTable) {
        if (f.record != record)
            continue;
        if (f.text)
            f.text(fields) = String();
        else
            f.set(fields, f.initial);
    }
}

bool sameFields(Record record, const void* a, const void* b) {
    for (const Field& f : kTable) {
        if (f.record != record)
            continue;
        // The text accessor hands out a reference; comparing changes nothing.
        if (f.text ? f.text(const_cast<void*>(a)) != f.text(const_cast<void*>(b)) : f.get(a) != f.get(b))
            return false;
    }
    return true;
}

void checkParams(const DjVuEncoder::Params& params) {
    for (const Field& f : kTable) {
        if (!isRanged(f))
            continue;
        const uint32_t v = f.get(recordIn(params, f.record));
        if (v < f.minimum || v > f.maximum)
            refuse(String::format("%s should be in [%u %u] range! (value=%u)", f.field, f.minimum, f.maximum, v));
    }
    checkKeywords(params, Record::main, nullptr, "");
    checkKeywords(params, Record::jb2, nullptr, "");
    checkLayer(params, "fgParams", params.fgParams);
    checkLayer(params, "bgParams", params.bgParams);
}

} // namespace FieldRanges
} // namespace DjVu
} // namespace Solvaris
