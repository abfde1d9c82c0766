#include "records_csv.h"

#include "record_store.h"
#include "record_writer.h"

#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

namespace {
constexpr int FIXED_COLUMNS = 14;
constexpr int CHANNEL_BLOCKS = 5; // values, upper, lower, reference, mask

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

// Apostrophes, then a character that makes a spreadsheet read a formula.
bool LooksLikeFormula(const std::string& text)
{
    const std::size_t first = text.find_first_not_of('\'');
    return first != std::string::npos && std::string_view("=+-@\t\r").find(text[first]) != std::string_view::npos;
}

// One line of fields; false at the end of the input or on a quote left open.
bool ReadLine(std::istream& in, std::vector<std::string>* fields, bool* broken)
{
    fields->assign(1, std::string());
    bool quoted = false, any = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        any = true;
        std::string& field = fields->back();
        if (quoted) {
            if (c == '"' && in.peek() == '"')
                field += static_cast<char>(in.get());
            else if (c == '"')
                quoted = false;
            else
                field += static_cast<char>(c);
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields->emplace_back();
        } else if (c == '\n') {
            return true;
        } else if (c == '\r' && in.peek() == '\n') {
            in.get();
            return true;
        } else {
            field += static_cast<char>(c);
        }
    }
    *broken = quoted;
    return any && !quoted;
}

template <typename T> bool Whole(const std::string& text, T* value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::string Unquoted(const std::string& field)
{
    return field.size() > 1 && field[0] == '\'' && LooksLikeFormula(field) ? field.substr(1) : field;
}

bool ParseRow(const std::vector<std::string>& f, TestRecord* r)
{
    if (f.size() != FIXED_COLUMNS + CHANNEL_BLOCKS * GRID_CHANNELS)
        return false;
    r->stationId = Unquoted(f[2]);
    r->boardKind = Unquoted(f[3]);
    r->boardIdentity = Unquoted(f[4]);
    r->configHash = Unquoted(f[13]);
    if (!ParseUtc(f[0], &r->startMs) || !ParseUtc(f[1], &r->endMs) || !Whole(f[5], &r->page) ||
        !Whole(f[6], &r->column) || !Whole(f[7], &r->row) || (f[8] != "PASS" && f[8] != "FAIL") ||
        !Whole(f[10], &r->passes) || !Whole(f[11], &r->rangeHigh) || !Whole(f[12], &r->rangeLow))
        return false;
    r->pass = f[8] == "PASS";
    r->failingChannels = 0;
    std::istringstream channels(f[9]);
    for (std::string k; channels >> k;) {
        int channel = -1;
        if (!Whole(k, &channel) || channel < 0 || channel >= GRID_CHANNELS)
            return false;
        r->failingChannels |= 1u << channel;
    }
    ChannelArray* arrays[] = {&r->values, &r->upperLimit, &r->lowerLimit, &r->reference};
    std::size_t i = FIXED_COLUMNS;
    for (ChannelArray* a : arrays)
        for (auto& v : *a)
            if (!Whole(f[i++], &v))
                return false;
    for (auto& m : r->mask)
        if (!Whole(f[i++], &m))
            return false;
    return true;
}

// Where a save to `path` would land: QSaveFile follows links, even to a file not there yet.
std::filesystem::path SaveTarget(const std::string& path)
{
    QFileInfo file(QString::fromStdString(path));
    for (int depth = 0; depth < 128 && file.isSymLink(); ++depth)
        file.setFile(file.symLinkTarget());
    return std::filesystem::path(file.absoluteFilePath().toStdString());
}

// The same file by device and inode when both exist, else by their paths made absolute and free
// of links and dots.
bool SameFile(const std::filesystem::path& target, const std::string& other)
{
    struct stat a {}, b {};
    const bool targetThere = ::stat(target.c_str(), &a) == 0, otherThere = ::stat(other.c_str(), &b) == 0;
    if (targetThere && otherThere)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    std::error_code ec1, ec2;
    const auto x = std::filesystem::weakly_canonical(target, ec1), y = std::filesystem::weakly_canonical(other, ec2);
    return !ec1 && !ec2 && x == y;
}

// The store's own files, and the writer's spill file, are never an export's target.
bool IsProtected(const std::string& csvPath, const std::string& storePath, const std::string& spillPath)
{
    const std::filesystem::path target = SaveTarget(csvPath);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        if (SameFile(target, storePath + suffix))
            return true;
    return !spillPath.empty() && SameFile(target, spillPath);
}

ExportResult Export(const std::string& storePath, const RecordWriter* writer, std::int64_t sinceMs,
                    std::int64_t untilMs, const std::string& csvPath, const ExportProgress& progress)
{
    ExportResult result;
    if (IsProtected(csvPath, storePath, writer ? writer->SpillPath() : std::string())) {
        result.error = csvPath + ": this is where the test records are kept; choose another file";
        return result;
    }
    if (!writer && !std::filesystem::exists(storePath)) {
        result.error = storePath + ": no test records yet";
        return result;
    }

    // The store's snapshot starts where the writer's copy is taken, so each record is in one of
    // the two. A store the writer has not made yet holds nothing.
    RecordStore store;
    std::int64_t stored = 0;
    auto startRead = [&](std::string* error) {
        if (writer && !std::filesystem::exists(storePath))
            return true;
        return store.Open(storePath, true, error, 5000) && store.BeginRead(error) &&
               store.Count(sinceMs, untilMs, &stored, error);
    };
    std::vector<TestRecord> unstored;
    if (!(writer ? writer->Unstored(sinceMs, untilMs, startRead, &unstored, &result.error) : startRead(&result.error)))
        return result;
    std::stable_sort(unstored.begin(), unstored.end(),
                     [](const TestRecord& a, const TestRecord& b) { return a.startMs < b.startMs; });
    const std::int64_t total = stored + static_cast<std::int64_t>(unstored.size());

    QSaveFile file(QString::fromStdString(csvPath));
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = csvPath + ": " + file.errorString().toStdString();
        return result;
    }
    std::ostringstream chunk;
    WriteCsvHeader(chunk);
    auto put = [&](const TestRecord& r) {
        WriteCsvRow(chunk, r);
        if (++result.rows % 1000 != 0)
            return true;
        const std::string text = chunk.str();
        file.write(text.data(), static_cast<qint64>(text.size()));
        chunk.str({});
        result.cancelled = progress && !progress(result.rows, total);
        return !result.cancelled;
    };
    auto next = unstored.cbegin();
    bool read = true;
    if (store.IsOpen()) {
        read = store.Query(
            sinceMs, untilMs,
            [&](const TestRecord& r) {
                for (; next != unstored.cend() && next->startMs < r.startMs; ++next)
                    if (!put(*next))
                        return false;
                return put(r);
            },
            &result.error);
        store.EndRead();
    }
    for (; read && !result.cancelled && next != unstored.cend(); ++next)
        put(*next);
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
    result.unstored = static_cast<std::int64_t>(unstored.size());
    result.ok = true;
    return result;
}
} // namespace

std::string CsvField(const std::string& text)
{
    const bool formula = LooksLikeFormula(text);
    if (!formula && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = formula ? "\"'" : "\"";
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

bool ReadCsvRecords(std::istream& in, const std::function<bool(const TestRecord&)>& each, std::string* error)
{
    std::ostringstream headerText;
    WriteCsvHeader(headerText);
    std::istringstream headerIn(headerText.str());
    std::vector<std::string> header, fields;
    bool broken = false;
    ReadLine(headerIn, &header, &broken);
    if (!ReadLine(in, &fields, &broken) || fields != header) {
        if (error)
            *error = "not a test-record CSV: the header differs";
        return false;
    }
    for (std::int64_t row = 1; ReadLine(in, &fields, &broken); ++row) {
        TestRecord r;
        if (!ParseRow(fields, &r)) {
            if (error)
                *error = "row " + std::to_string(row) + ": not a test record";
            return false;
        }
        if (!each(r))
            return true;
    }
    if (broken && error)
        *error = "a quoted field runs to the end of the file";
    return !broken && !in.bad();
}

ExportResult ExportRecords(const std::string& storePath, std::int64_t sinceMs, std::int64_t untilMs,
                           const std::string& csvPath, const ExportProgress& progress)
{
    return Export(storePath, nullptr, sinceMs, untilMs, csvPath, progress);
}

ExportResult ExportRecords(const RecordWriter& writer, std::int64_t sinceMs, std::int64_t untilMs,
                           const std::string& csvPath, const ExportProgress& progress)
{
    return Export(writer.Path(), &writer, sinceMs, untilMs, csvPath, progress);
}
