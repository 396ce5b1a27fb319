// The DjVu encoder parameter record that a profile carries: the main record,
// its two wavelet layers with their chunk lists, the segmenter, JB2 and
// region-recognition sub-records, the free-form extras, and the keyword that
// stands for each enumeration value in the profile XML. Nothing here encodes;
// the record is stored, compared, copied, read and written.
#pragma once

#include <cstdint>
#include <map>

#include "baselib/svr_array.h"
#include "baselib/svr_string.h"

namespace Solvaris {
namespace DjVu {

// A keyword list: the keywords in value order, closed by an empty entry.
typedef const char* const* KeywordList;

class IW44Encoder {
public:
    enum ChunkIntent : uint32_t {
        intentIW44 = 0, intentBG44 = 1, intentFG44 = 2, intentPM44 = 3, intentBM44 = 4, intentTH44 = 5,
    };
    enum CbCrMode : uint32_t { cbcrNone = 0, cbcrHalf = 1, cbcrNormal = 2 };

    static const KeywordList kIntentKeywords;   // "IW44" ... "TH44"
    static const KeywordList kCbcrModeKeywords; // "none", "half", "normal"
    static const uint32_t kCbCrDelayAuto = 255;

    // One chunk of a layer; 0 means "not given".
    struct ChunkConfig {
        uint32_t slices = 0;
        uint32_t bytes = 0;
        bool operator==(const ChunkConfig& o) const { return slices == o.slices && bytes == o.bytes; }
    };

    // Called by an encoder after each slice; never written to XML.
    typedef bool (*SliceCallback)(void* context, uint32_t chunk, uint32_t slice);

    struct Params {
        ChunkIntent intent;
        uint32_t quality;
        CbCrMode cbcrMode;
        uint32_t cbcrDelay;                   // 255: automatic
        SimpleArray<ChunkConfig> chunks;
        SliceCallback sliceCallback = nullptr;
        void* sliceContext = nullptr;

        explicit Params(ChunkIntent intent = intentBG44, uint32_t quality = 75);
        bool operator==(const Params& o) const;
        bool operator!=(const Params& o) const { return !(*this == o); }
    };

    // The subsample a layer of this intent gets when its XML gives none.
    static uint32_t defaultSubsample(uint32_t intent);
};

struct SegmenterParams {
    uint32_t blockSize = 16;
    uint32_t maxSizeOfNoiseObj = 4;
    uint32_t noiseHueThreshold = 8;
    uint32_t upsample = 1;
    uint32_t blurRadius = 1;
    uint8_t detectEdge = 0;
    uint8_t thickenShapes = 0;
    uint8_t useFgIfEmpty = 0;
    uint8_t bgColorAutodetect = 0;
    uint32_t bgColorExpected = 0xFFFFFFFFu;   // 0xRRGGBB; 0x1000000 and above: none
    uint32_t bgColorThreshold = 0;
    uint32_t useNonBlurred = 0;

    bool operator==(const SegmenterParams& o) const;
    bool operator!=(const SegmenterParams& o) const { return !(*this == o); }
};

struct RegionRecogParams {
    uint32_t distLongMax = 60;
    uint32_t distShortMax = 24;
    uint32_t noiseThreshold = 3;
    uint32_t colorThreshold = 10;
    uint32_t overlapThreshold = 9;

    bool operator==(const RegionRecogParams& o) const;
    bool operator!=(const RegionRecogParams& o) const { return !(*this == o); }
};

struct JB2Params {
    enum NoiseReduction : uint32_t { noiseNone = 0, noiseRemoveIsolated = 1, noiseInflate = 2, noiseDeflate = 3 };
    // Exists only in the XML: turned into thresholds when read.
    enum QualityPolicy : uint32_t {
        policyLossless = 0, policyQuasiLossless = 1, policyConservative = 2, policyAgressive = 3, policyLossy = 4,
    };
    static const KeywordList kNoiseReductionKeywords;
    static const KeywordList kQualityPolicyKeywords;

    uint32_t refineThreshold = 60;
    uint32_t matchThreshold = 12;
    uint32_t centerDiffThreshold = 1;
    uint32_t maxPalettes = 256;
    uint8_t sortShapes = 0;
    NoiseReduction noiseReduction = noiseNone;
    RegionRecogParams regionRecog;
    uint32_t pageShapeThreshold = 0;
    uint32_t flags = 0;

    bool operator==(const JB2Params& o) const;
    bool operator!=(const JB2Params& o) const { return !(*this == o); }
};

// Boolean keywords as written: 0 "no", 1 "yes".
extern const KeywordList kBooleanKeywords;

class DjVuEncoder {
public:
    enum EncodeMode : uint32_t {
        mode3Layer = 0, mode2Layer = 1, modePicture = 2, modeBitonal = 3, modeAuto = 4, modeFg44ColorJb2 = 5,
    };
    enum EmptyMaskProcess : uint32_t {
        maskBitonalOrPicture = 0, maskPicture = 1, maskBitonalOrSegmentation = 2, maskSegmentation = 3,
    };
    enum BitonalEncoding : uint32_t { bitonalJb2 = 0, bitonalMmr = 1, bitonalJbig2 = 2 };
    enum PictureEncoding : uint32_t { pictureIw44 = 0, pictureJpeg = 1, pictureJpx = 2 };

    static const KeywordList kEncodeModeKeywords;         // the six written keywords
    static const KeywordList kEncodeModeReadKeywords;     // plus "fg44" (6) and "colorjb2" (7)
    static const KeywordList kEmptyMaskProcessKeywords;
    static const KeywordList kBitonalEncodingKeywords;
    static const KeywordList kPictureEncodingKeywords;

    // Which sub-records an encode mode uses (and so which elements a profile
    // of that mode carries in its XML).
    static bool usesJb2(uint32_t mode);
    static bool usesForeground(uint32_t mode);
    static bool usesBackground(uint32_t mode);
    static bool usesSegmenter(uint32_t mode);

    struct Params {
        uint32_t dictMode = 1;                // 1: dictFreq is in force
        uint32_t dictFreq = 20;
        String name;
        EncodeMode encodeMode;
        EmptyMaskProcess emptyMaskProcess = maskBitonalOrPicture;
        BitonalEncoding bitonalEncoding = bitonalJb2;
        PictureEncoding pictureEncoding = pictureIw44;
        uint8_t flexEncode = 1;
        uint8_t blackCompensation = 0;
        uint32_t subsample;
        uint32_t upsample;
        uint32_t postSegmentSubsample = 1;
        uint32_t fgSubsample;
        uint32_t fgEnhancer = 0;
        IW44Encoder::Params fgParams;
        uint32_t bgSubsample;
        uint32_t bgEnhancer = 0;
        IW44Encoder::Params bgParams;
        SegmenterParams segmenter;
        JB2Params jb2;
        String fgJpxParams;
        String jpxParams;
        uint32_t binThreshold = 240;
        uint32_t gamma = 22;                  // tenths: 22 is gamma 2.2
        uint32_t flags = 0;
        std::map<String, String> extras;      // ordered by byte-wise name

        explicit Params(EncodeMode encodeMode = mode3Layer, uint32_t fgSubsample = 12, uint32_t fgQuality = 75,
                        uint32_t bgSubsample = 3, uint32_t bgQuality = 75, uint32_t upsample = 1,
                        uint32_t subsample = 1);

        bool operator==(const Params& o) const;
        bool operator!=(const Params& o) const { return !(*this == o); }

        // Fill the whole record (its name included) from the profile of that
        // name in the default repository, or from the profile a file holds
        // (a profile file, or "repository path:profile name").
        void loadFromProfile(const String& profileName);
        void loadFromXmlFile(const String& path);
    };
};

// Position of `value` in `keywords` ignoring ASCII letter case; -1 when it is
// none of them (the closing empty entry never matches).
int32_t findKeyword(KeywordList keywords, const String& value);
// Number of keywords before the closing empty entry.
uint32_t keywordCount(KeywordList keywords);

} // namespace DjVu
} // namespace Solvaris
