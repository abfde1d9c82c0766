#pragma once
// Test records as CSV: UTF-8, CRLF, a header line, one row per record with the 32 values (and
// limits, reference and mask) as columns; fields quoted where they need it. Text that came from
// outside (station, board, configuration hash) and would start a spreadsheet formula gets a
// leading apostrophe.
#include "test_record.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

class RecordWriter;

void WriteCsvHeader(std::ostream& out);
void WriteCsvRow(std::ostream& out, const TestRecord& record);
// Quotes a field that holds a comma, a quote or a line break; doubles its quotes. A field that
// starts with "=", "+", "-", "@", a tab or a carriage return (after any apostrophes) is taken by
// spreadsheets as a formula: it gets one more apostrophe in front, and quotes.
std::string CsvField(const std::string& text);

// Reads back what WriteCsvHeader and WriteCsvRow wrote, header first; `each` returns false to
// stop. False, with the line, for anything else.
bool ReadCsvRecords(std::istream& in, const std::function<bool(const TestRecord&)>& each, std::string* error);

// Called now and then with the rows written and the rows to write; false cancels.
using ExportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

struct ExportResult {
    bool ok = false;
    bool cancelled = false;
    std::int64_t rows = 0;
    std::int64_t unstored = 0; // of the rows, those taken from the writer's memory or spill file
    std::string error;
};

// Records starting in [sinceMs, untilMs) from the store file to a CSV file, written beside it and
// renamed into place, so a failed or cancelled export leaves no half file. The store is read in
// one snapshot, and a store that cannot be read fails the export. The store itself (or its
// journal files), by any name, is refused as the target.
ExportResult ExportRecords(const std::string& storePath, std::int64_t sinceMs, std::int64_t untilMs,
                           const std::string& csvPath, const ExportProgress& progress = {});
// The same from a running writer's store, together with the records it has not stored yet (in
// memory or in its spill file), each record once; its spill file is refused as a target too.
ExportResult ExportRecords(const RecordWriter& writer, std::int64_t sinceMs, std::int64_t untilMs,
                           const std::string& csvPath, const ExportProgress& progress = {});
