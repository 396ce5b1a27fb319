// The ranges of the encoder record's numeric fields, in one table that both
// sides use: the XML reader checks each attribute against its field's range,
// and every place a record enters a profile (creation, setParams, install)
// refuses a record outside the table, so that nothing is ever written that
// the reader would stop at.
#pragma once

#include <cstdint>

#include "profile/djv_params.h"

namespace Solvaris {
namespace DjVu {
namespace FieldRanges {

// One numeric field: where the XML carries it and the values it may hold.
struct FieldRange {
    const char* field;       // the record's field, named in messages ("segmenter.upsample")
    const char* element;     // local name of the element that carries it ("profile", "iw44", ...)
    const char* layerId;     // for "iw44": "foreground" or "background"; else null
    const char* attribute;   // the attribute that carries it
    uint32_t minimum;
    uint32_t maximum;
    uint32_t& (*value)(DjVuEncoder::Params&);
};

// Index of each row in the table.
enum Row : uint32_t {
    dictFreq, binThreshold, gamma,
    fgSubsample, fgEnhancer, bgSubsample, bgEnhancer,
    blockSize, maxSizeOfNoiseObj, noiseHueThreshold, segmenterUpsample, blurRadius, bgColorThreshold,
    refineThreshold, matchThreshold, centerDiffThreshold, maxPalettes, pageShapeThreshold, jb2Flags,
    distLongMax, distShortMax, noiseThreshold, colorThreshold, overlapThreshold,
    rowCount
};

// The whole table, rowCount rows in Row order.
const FieldRange* table();
inline const FieldRange& row(Row r) { return table()[r]; }

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
