#include "profile/djv_params.h"

#include "profile/djv_fieldranges.h"

namespace Solvaris {
namespace DjVu {

namespace {
const char* const kIntents[] = {"IW44", "BG44", "FG44", "PM44", "BM44", "TH44", ""};
const char* const kCbCrModes[] = {"none", "half", "normal", ""};
const char* const kNoiseReductions[] = {"none", "remove-isolated", "inflate", "deflate", ""};
const char* const kQualityPolicies[] = {"lossless", "quasi-lossless", "conservative", "agressive", "lossy", ""};
const char* const kBooleans[] = {"no", "yes", ""};
const char* const kEncodeModes[] = {"3-layer", "2-layer", "picture", "bitonal", "auto", "fg44colorjb2", ""};
const char* const kEncodeModesRead[] = {"3-layer", "2-layer", "picture", "bitonal", "auto", "fg44colorjb2",
                                        "fg44", "colorjb2", ""};
const char* const kEmptyMaskProcesses[] = {"bitonal-or-picture", "picture", "bitonal-or-segmentation",
                                           "segmentation", ""};
const char* const kBitonalEncodings[] = {"jb2", "mmr", "jbig2", ""};
const char* const kPictureEncodings[] = {"iw44", "jpeg", "jpx", ""};
} // namespace

const KeywordList IW44Encoder::kIntentKeywords = kIntents;
const KeywordList IW44Encoder::kCbcrModeKeywords = kCbCrModes;
const KeywordList JB2Params::kNoiseReductionKeywords = kNoiseReductions;
const KeywordList JB2Params::kQualityPolicyKeywords = kQualityPolicies;
const KeywordList kBooleanKeywords = kBooleans;
const KeywordList DjVuEncoder::kEncodeModeKeywords = kEncodeModes;
const KeywordList DjVuEncoder::kEncodeModeReadKeywords = kEncodeModesRead;
const KeywordList DjVuEncoder::kEmptyMaskProcessKeywords = kEmptyMaskProcesses;
const KeywordList DjVuEncoder::kBitonalEncodingKeywords = kBitonalEncodings;
const KeywordList DjVuEncoder::kPictureEncodingKeywords = kPictureEncodings;

int32_t findKeyword(KeywordList keywords, const String& value) {
    for (int32_t i = 0; keywords[i][0] != '\0'; ++i) {
        if (value.compareNoCase(String(keywords[i])) == 0)
            return i;
    }
    return -1;
}

uint32_t keywordCount(KeywordList keywords) {
    uint32_t n = 0;
    while (keywords[n][0] != '\0')
        ++n;
    return n;
}

// ---------------------------------------------------------------------------

using FieldRanges::Record;
using FieldRanges::sameFields;
using FieldRanges::setDefaults;

IW44Encoder::Params::Params(ChunkIntent intent_, uint32_t quality_) : chunks(128) {
    setDefaults(Record::layer, this);
    intent = intent_;
    quality = quality_;
}

bool IW44Encoder::Params::operator==(const Params& o) const {
    if (!sameFields(Record::layer, this, &o) || sliceCallback != o.sliceCallback || sliceContext != o.sliceContext ||
        chunks.count() != o.chunks.count())
        return false;
    for (uint32_t i = 0; i < chunks.count(); ++i) {
        if (!(chunks[i] == o.chunks[i]))
            return false;
    }
    return true;
}

uint32_t IW44Encoder::defaultSubsample(uint32_t intent) {
    switch (intent) {
    case intentBG44: return 3;
    case intentFG44: return 12;
    default: return 1;
    }
}

SegmenterParams::SegmenterParams() {
    setDefaults(Record::segmenter, this);
}

bool SegmenterParams::operator==(const SegmenterParams& o) const {
    return sameFields(Record::segmenter, this, &o);
}

RegionRecogParams::RegionRecogParams() {
    setDefaults(Record::regionRecog, this);
}

bool RegionRecogParams::operator==(const RegionRecogParams& o) const {
    return sameFields(Record::regionRecog, this, &o);
}

JB2Params::JB2Params() {
    setDefaults(Record::jb2, this);
}

bool JB2Params::operator==(const JB2Params& o) const {
    return sameFields(Record::jb2, this, &o) && regionRecog == o.regionRecog;
}

// ---------------------------------------------------------------------------

bool DjVuEncoder::usesJb2(uint32_t mode) {
    return mode != modePicture;
}
bool DjVuEncoder::usesForeground(uint32_t mode) {
    return mode == mode3Layer || mode == modeAuto || mode == modeFg44ColorJb2;
}
bool DjVuEncoder::usesBackground(uint32_t mode) {
    return mode != modeBitonal;
}
bool DjVuEncoder::usesSegmenter(uint32_t mode) {
    return mode != modePicture && mode != modeBitonal;
}

DjVuEncoder::Params::Params(EncodeMode encodeMode_, uint32_t fgSubsample_, uint32_t fgQuality,
                            uint32_t bgSubsample_, uint32_t bgQuality, uint32_t upsample_, uint32_t subsample_)
    : fgParams(IW44Encoder::intentFG44, fgQuality), bgParams(IW44Encoder::intentBG44, bgQuality) {
    setDefaults(Record::main, this);
    encodeMode = encodeMode_;
    subsample = subsample_;
    upsample = upsample_;
    fgSubsample = fgSubsample_;
    bgSubsample = bgSubsample_;
}

bool DjVuEncoder::Params::operator==(const Params& o) const {
    return sameFields(Record::main, this, &o) && fgParams == o.fgParams && bgParams == o.bgParams &&
           segmenter == o.segmenter && jb2 == o.jb2 && extras == o.extras;
}

} // namespace DjVu
} // namespace Solvaris
