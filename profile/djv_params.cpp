#include "profile/djv_params.h"

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

IW44Encoder::Params::Params(ChunkIntent intent_, uint32_t quality_)
    : intent(intent_), quality(quality_), cbcrMode(cbcrNormal), cbcrDelay(kCbCrDelayAuto), chunks(128) {}

bool IW44Encoder::Params::operator==(const Params& o) const {
    if (intent != o.intent || quality != o.quality || cbcrMode != o.cbcrMode || cbcrDelay != o.cbcrDelay ||
        sliceCallback != o.sliceCallback || sliceContext != o.sliceContext || chunks.count() != o.chunks.count())
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

bool SegmenterParams::operator==(const SegmenterParams& o) const {
    return blockSize == o.blockSize && maxSizeOfNoiseObj == o.maxSizeOfNoiseObj &&
           noiseHueThreshold == o.noiseHueThreshold && upsample == o.upsample && blurRadius == o.blurRadius &&
           detectEdge == o.detectEdge && thickenShapes == o.thickenShapes && useFgIfEmpty == o.useFgIfEmpty &&
           bgColorAutodetect == o.bgColorAutodetect && bgColorExpected == o.bgColorExpected &&
           bgColorThreshold == o.bgColorThreshold && useNonBlurred == o.useNonBlurred;
}

bool RegionRecogParams::operator==(const RegionRecogParams& o) const {
    return distLongMax == o.distLongMax && distShortMax == o.distShortMax && noiseThreshold == o.noiseThreshold &&
           colorThreshold == o.colorThreshold && overlapThreshold == o.overlapThreshold;
}

bool JB2Params::operator==(const JB2Params& o) const {
    return refineThreshold == o.refineThreshold && matchThreshold == o.matchThreshold &&
           centerDiffThreshold == o.centerDiffThreshold && maxPalettes == o.maxPalettes &&
           sortShapes == o.sortShapes && noiseReduction == o.noiseReduction && regionRecog == o.regionRecog &&
           pageShapeThreshold == o.pageShapeThreshold && flags == o.flags;
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
    : encodeMode(encodeMode_), subsample(subsample_), upsample(upsample_), fgSubsample(fgSubsample_),
      fgParams(IW44Encoder::intentFG44, fgQuality), bgSubsample(bgSubsample_),
      bgParams(IW44Encoder::intentBG44, bgQuality) {}

bool DjVuEncoder::Params::operator==(const Params& o) const {
    return dictMode == o.dictMode && dictFreq == o.dictFreq && name == o.name && encodeMode == o.encodeMode &&
           emptyMaskProcess == o.emptyMaskProcess && bitonalEncoding == o.bitonalEncoding &&
           pictureEncoding == o.pictureEncoding && flexEncode == o.flexEncode &&
           blackCompensation == o.blackCompensation && subsample == o.subsample && upsample == o.upsample &&
           postSegmentSubsample == o.postSegmentSubsample && fgSubsample == o.fgSubsample &&
           fgEnhancer == o.fgEnhancer && fgParams == o.fgParams && bgSubsample == o.bgSubsample &&
           bgEnhancer == o.bgEnhancer && bgParams == o.bgParams && segmenter == o.segmenter && jb2 == o.jb2 &&
           fgJpxParams == o.fgJpxParams && jpxParams == o.jpxParams && binThreshold == o.binThreshold &&
           gamma == o.gamma && flags == o.flags && extras == o.extras;
}

} // namespace DjVu
} // namespace Solvaris
