#include "records_csv.h"

#include "record_store.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <sstream>

namespace {
void Columns(std::ostream& out, const char* name)
{
    char text[32];
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        std::snprintf(text, sizeof text, ",%s_%02d", name, k);
        out << text;
    }
}

template <typename Array> void Values(std::ostream& out, const Array& values)
{
    for (const auto v : values)
        out << ',' << static_cast<unsigned>(v);
}

std::string Number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value); // the C locale's point, whatever the user's locale
    return text;
}
} // namespace

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void WriteCsvHeader(std::ostream& out)
{
    out << "start_utc,end_utc,station,board_kind,board_identity,page,column,row,verdict,failing_channels,passes,"
           "range_high,range_low,config_hash";
    Columns(out, "value");
    Columns(out, "upper");
    Columns(out, "lower");
    Columns(out, "reference");
    Columns(out, "mask");
    out << "\r\n";
}

void WriteCsvRow(std::ostream& out, const TestRecord& r)
{
    out << FormatUtc(r.startMs) << ',' << FormatUtc(r.endMs) << ',' << CsvField(r.stationId) << ','
        << CsvField(r.boardKind) << ',' << CsvField(r.boardIdentity) << ',' << r.page << ',' << r.column << ','
        << r.row << ',' << (r.pass ? "PASS" : "FAIL") << ',' << ChannelList(r.failingChannels) << ',' << r.passes
        << ',' << Number(r.rangeHigh) << ',' << Number(r.rangeLow) << ',' << CsvField(r.configHash);
    Values(out, r.values);
    Values(out, r.upperLimit);
    Values(out, r.lowerLimit);
    Values(out, r.reference);
    Values(out, r.mask);
    out << "\r\n";
}

ExportResult ExportRecords(const std::string& storePath, std::int64_t sinceMs, std::int64_t untilMs,
                           const std::string& csvPath, const ExportProgress& progress)
{
    ExportResult result;
    if (!QFile::exists(QString::fromStdString(storePath))) {
        result.error = storePath + ": no test records yet";
        return result;
    }
    RecordStore store;
    std::int64_t total = 0;
    if (!store.Open(storePath, true, &result.error, 5000) || !store.Count(sinceMs, untilMs, &total, &result.error))
        return result;

    QSaveFile file(QString::fromStdString(csvPath));
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = csvPath + ": " + file.errorString().toStdString();
        return result;
    }
    std::ostringstream header;
    WriteCsvHeader(header);
    file.write(header.str().data(), static_cast<qint64>(header.str().size()));

    std::ostringstream chunk;
    const bool read = store.Query(
        sinceMs, untilMs,
        [&](const TestRecord& r) {
            WriteCsvRow(chunk, r);
            ++result.rows;
            if (result.rows % 1000 == 0) {
                const std::string text = chunk.str();
                file.write(text.data(), static_cast<qint64>(text.size()));
                chunk.str({});
                if (progress && !progress(result.rows, total)) {
                    result.cancelled = true;
                    return false;
                }
            }
            return true;
        },
        &result.error);
    if (!read || result.cancelled) {
        file.cancelWriting();
        return result;
    }
    const std::string rest = chunk.str();
    file.write(rest.data(), static_cast<qint64>(rest.size()));
    if (!file.commit()) {
        result.error = csvPath + ": " + file.errorString().toStdString();
        return result;
    }
    if (progress)
        progress(result.rows, total);
    result.ok = true;
    return result;
}
