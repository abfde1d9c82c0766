#pragma once
// Test records as CSV: UTF-8, CRLF, a header line, one row per record with the 32 values (and
// limits, reference and mask) as columns; fields quoted where they need it.
#include "test_record.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

void WriteCsvHeader(std::ostream& out);
void WriteCsvRow(std::ostream& out, const TestRecord& record);
// Quotes a field that holds a comma, a quote or a line break; doubles its quotes.
std::string CsvField(const std::string& text);

// Called now and then with the rows written and the rows to write; false cancels.
using ExportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

struct ExportResult {
    bool ok = false;
    bool cancelled = false;
    std::int64_t rows = 0;
    std::string error;
};

// Records starting in [sinceMs, untilMs) from the store file to a CSV file, written beside it and
// renamed into place, so a failed or cancelled export leaves no half file.
ExportResult ExportRecords(const std::string& storePath, std::int64_t sinceMs, std::int64_t untilMs,
                           const std::string& csvPath, const ExportProgress& progress = {});
