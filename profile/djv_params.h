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

// The defaults of every record below are those of the field table
// (djv_fieldranges.cpp), which the constructors apply.
struct SegmenterParams {
    uint32_t blockSize;
    uint32_t maxSizeOfNoiseObj;
    uint32_t noiseHueThreshold;
    uint32_t upsample;
    uint32_t blurRadius;
    uint8_t detectEdge;
    uint8_t thickenShapes;
    uint8_t useFgIfEmpty;
    uint8_t bgColorAutodetect;
    uint32_t bgColorExpected;   // 0xRRGGBB; 0x1000000 and above: none
    uint32_t bgColorThreshold;
    uint32_t useNonBlurred;

    SegmenterParams();

    bool operator==(const SegmenterParams& o) const;
    bool operator!=(const SegmenterParams& o) const { return !(*this == o); }
};

struct RegionRecogParams {
    uint32_t distLongMax;
    uint32_t distShortMax;
    uint32_t noiseThreshold;
    uint32_t colorThreshold;
    uint32_t overlapThreshold;

    RegionRecogParams();

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

    uint32_t refineThreshold;
    uint32_t matchThreshold;
    uint32_t centerDiffThreshold;
    uint32_t maxPalettes;
    uint8_t sortShapes;
    NoiseReduction noiseReduction;
    RegionRecogParams regionRecog;
    uint32_t pageShapeThreshold;
    uint32_t flags;

    JB2Params();

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
        // Defaults: the field table, then the constructor's arguments.
        uint32_t dictMode;                    // 1: dictFreq is in force
        uint32_t dictFreq;
        String name;
        EncodeMode encodeMode;
        EmptyMaskProcess emptyMaskProcess;
        BitonalEncoding bitonalEncoding;
        PictureEncoding pictureEncoding;
        uint8_t flexEncode;
        uint8_t blackCompensation;
        uint32_t subsample;
        uint32_t upsample;
        uint32_t postSegmentSubsample;
        uint32_t fgSubsample;
        uint32_t fgEnhancer;
        IW44Encoder::Params fgParams;
        uint32_t bgSubsample;
        uint32_t bgEnhancer;
        IW44Encoder::Params bgParams;
        SegmenterParams segmenter;
        JB2Params jb2;
        String fgJpxParams;
        String jpxParams;
        uint32_t binThreshold;
        uint32_t gamma;                       // tenths: 22 is gamma 2.2
        uint32_t flags;
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
