// One-line descriptions of metafile records for the dump: the record's
// offset, name, size and its key fields, read through the bounded reader.
#pragma once

#include "platform/emf/reader.h"

#include <QString>

namespace emf {

// The key fields of a record, e.g. "box 10,10 20,20" or "ih 3 style 0
// width 1 color #000000"; empty when it has none worth showing. Fields
// that lie outside the record show as "(short)".
QString DescribeFields(const RecordView& record);

// "offset NAME size fields" for one record.
QString DescribeRecord(const RecordView& record);

// The header in a line: frame, reference device, records, handles.
QString DescribeHeader(const Header& header);

}  // namespace emf
