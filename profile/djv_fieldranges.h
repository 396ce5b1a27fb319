// Every field of the encoder record, in one table: where the XML carries it,
// how it is written and read, the values it may hold, the record's default
// and the reader's default. The XML reader and writer, the record's defaults
// and its comparison are all driven from it, and every place a record enters
// a profile (creation, setParams, install) refuses a record outside its
// ranges, so that nothing is ever written that the reader would stop at.
#pragma once

#include <cstdint>

#include "profile/djv_params.h"

namespace Solvaris {
namespace DjVu {
namespace FieldRanges {

// The record a field lives in: the main record, either wavelet layer, or a
// sub-record.
enum class Record : uint8_t { main, layer, segmenter, jb2, regionRecog };

// The element that carries a field; none: the field is no attribute of its
// own (the code around the table reads and writes it, or nothing does).
enum class Element : uint8_t { none, profile, iw44, segmenter, jb2, regionRecog };

// Which "iw44" element carries a field: both (a layer's own fields) or one.
enum class Layer : uint8_t { both, foreground, background };

// How the value is written and read.
enum class Kind : uint8_t {
    number,       // decimal within [minimum, maximum]
    keepNonZero,  // decimal without range; 0 or absent keeps the value the record has
    keyword,      // one of *keywords
    encodeMode,   // a keyword, read also by its older names ("fg44", "colorjb2", "auto")
    flag,         // "yes" or "no" (read: "yes", "true", "on" in any case)
    tenths,       // "2.2" for 22; read outside [minimum, maximum] keeps the value the record has
    color,        // "#RRGGBB", or "none" for 0x1000000 and above
    cbcrDelay,    // a number, or "auto" for kCbCrDelayAuto
    text,         // a string, escaped
};

// When the writer leaves the attribute out.
enum class Omit : uint8_t { never, whenZero, atMostOne, atDefault, withoutDict };

struct Field {
    const char* field;        // named in messages ("segmenter.upsample"; a layer's own: "intent")
    Element element;
    Layer layer;
    const char* attribute;
    Kind kind;
    Omit omit;
    uint32_t minimum;
    uint32_t maximum;
    const KeywordList* keywords;             // keyword and encodeMode kinds
    uint32_t initial;                        // the record's default
    uint32_t missing;                        // the reader's value for an absent attribute
    uint32_t (*missingForIntent)(uint32_t);  // instead of `missing`: from the layer's intent
    Record record;
    uint32_t (*get)(const void* record);     // numbers of every kind
    void (*set)(void* record, uint32_t value);
    String& (*text)(void* record);           // the text kind
};

// Index of each row in the table; the rows of one element lie in the order
// the writer writes them.
enum Row : uint32_t {
    dictMode, name, dictFreq, encodeMode, emptyMaskProcess, flexEncode, blackCompensation, upsample, subsample,
    postSegmentSubsample, jpxParams, fgJpxParams, binThreshold, gamma, bitonalEncoding, pictureEncoding, flags,
    intent, cbcrMode, cbcrDelay, quality, fgSubsample, fgEnhancer, bgSubsample, bgEnhancer,
    blockSize, maxSizeOfNoiseObj, noiseHueThreshold, segmenterUpsample, blurRadius, detectEdge, thickenShapes,
    useFgIfEmpty, bgColorAutodetect, bgColorExpected, bgColorThreshold, useNonBlurred,
    matchThreshold, refineThreshold, centerDiffThreshold, maxPalettes, sortShapes, noiseReduction,
    pageShapeThreshold, jb2Flags,
    distLongMax, distShortMax, noiseThreshold, colorThreshold, overlapThreshold,
    rowCount
};

// The whole table, rowCount rows in Row order.
const Field* table();
inline const Field& row(Row r) { return table()[r]; }

// Whether the reader and checkParams hold the row to [minimum, maximum].
inline bool isRanged(const Field& f) {
    return f.element != Element::none && (f.kind == Kind::number || f.kind == Kind::tenths);
}

// The record that holds a field of `record`'s kind within p (a layer's
// fields: in `layer`).
const void* recordIn(const DjVuEncoder::Params& p, Record record, const IW44Encoder::Params* layer = nullptr);
inline void* recordIn(DjVuEncoder::Params& p, Record record, IW44Encoder::Params* layer = nullptr) {
    return const_cast<void*>(recordIn(static_cast<const DjVuEncoder::Params&>(p), record, layer));
}

// Sets each field of `record`'s kind to its default.
void setDefaults(Record record, void* fields);
// Whether two records of that kind agree in every field of the table.
bool sameFields(Record record, const void* a, const void* b);

// Chunk sizes ("slices", "bytes" on chunk-config) take every 32-bit value.
const uint32_t kChunkMaximum = 0xFFFFFFFFu;

// Throws errInvalidParam naming the first field outside its range ("%s
// should be in [%u %u] range! (value=%u)" with the field's name), an
// enumeration outside its keyword list, or a layer the writer cannot carry
// (slice callback set). A record that passes can be written and read back.
void checkParams(const DjVuEncoder::Params& params);

} // namespace FieldRanges
} // namespace DjVu
} // namespace Solvaris
