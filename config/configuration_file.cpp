#include "configuration_file.h"

#include "colorbar.h"
#include "file_content.h"
#include "grid_model.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <mutex>
#include <string>

namespace {

// Qt sets the process locale from the environment; files must read and write '.' whatever it is.
locale_t CLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...)
{
    char buffer[64];
    const locale_t previous = uselocale(CLocale());
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string out;
    if (n >= static_cast<int>(sizeof buffer)) {
        // "%f" of a huge value: print again at full length.
        out.resize(static_cast<std::size_t>(n) + 1);
        va_start(args, format);
        std::vsnprintf(out.data(), out.size(), format, args);
        va_end(args);
        out.resize(static_cast<std::size_t>(n));
    } else if (n > 0) {
        out.assign(buffer, static_cast<std::size_t>(n));
    }
    uselocale(previous);
    return out;
}

double GetDouble(const Profile& profile, const std::string& section, const std::string& key)
{
    const std::string value = profile.GetString(section, key);
    return strtod_l(value.c_str(), nullptr, CLocale());
}

long GetLong(const Profile& profile, const std::string& section, const std::string& key)
{
    return profile.GetInt(section, key, 0);
}

std::string PageName(int page, const char* suffix)
{
    return Format("PAGE%02d_%s", page, suffix);
}

std::string ChannelKey(int channel)
{
    return Format("CH%02d", channel);
}

void ReadChannels16(const Profile& profile, const std::string& section,
                    std::array<std::uint16_t, PAGE_CHANNELS>& out, const char* keyFormat)
{
    for (int k = 0; k < PAGE_CHANNELS; ++k)
        out[static_cast<std::size_t>(k)] =
            static_cast<std::uint16_t>(GetLong(profile, section, Format(keyFormat, k)));
}

void WriteChannels16(Profile& profile, const std::string& section,
                     const std::array<std::uint16_t, PAGE_CHANNELS>& values)
{
    for (int k = 0; k < PAGE_CHANNELS; ++k)
        profile.SetString(section, ChannelKey(k), Format("%d", values[static_cast<std::size_t>(k)]));
}

PageConfiguration ReadPage(const Profile& profile, int p, long fpcTest)
{
    PageConfiguration page;
    const std::string offset = PageName(p, "OFFSET");
    page.offsetType = GetLong(profile, offset, PageName(p, "OFFSETTYPE")) != 0 ? 1 : 0;
    page.percentage = static_cast<float>(GetDouble(profile, offset, PageName(p, "PERCENTAGE")));
    page.offsetUpper = static_cast<std::int32_t>(GetLong(profile, offset, PageName(p, "OFFSETUPPER")));
    page.offsetLower = static_cast<std::int32_t>(GetLong(profile, offset, PageName(p, "OFFSETLOWER")));

    ReadChannels16(profile, PageName(p, "REFDATA"), page.refData, "CH%02d");
    ReadChannels16(profile, PageName(p, "THRESHOLDHIGH"), page.thresholdHigh, "CH%02d");
    ReadChannels16(profile, PageName(p, "THRESHOLDLOW"), page.thresholdLow, "CH%02d");

    page.dataMax = static_cast<std::int32_t>(GetLong(profile, PageName(p, "DATARANG"), "MAX"));
    page.dataMin = static_cast<std::int32_t>(GetLong(profile, PageName(p, "DATARANGE"), "MIN"));

    // With FPCTEST 0 the file says "tested"; otherwise it holds the mask byte itself.
    const std::string mask = PageName(p, "MASK");
    for (int k = 0; k < PAGE_CHANNELS; ++k) {
        const long value = GetLong(profile, mask, ChannelKey(k));
        page.mask[static_cast<std::size_t>(k)] =
            fpcTest == 0 ? (value == 0 ? 1 : 0) : static_cast<std::uint8_t>(value);
    }

    const std::string pearson = PageName(p, "PEARSON");
    page.similarityOn = GetLong(profile, pearson, "EN") != 0;
    page.similarityThreshold = GetDouble(profile, pearson, "VAL");
    return page;
}

void WritePage(Profile& profile, int p, const PageConfiguration& page, int fpcTest)
{
    const std::string offset = PageName(p, "OFFSET");
    profile.SetString(offset, PageName(p, "OFFSETTYPE"), Format("%d", page.offsetType));
    profile.SetString(offset, PageName(p, "PERCENTAGE"), Format("%f", static_cast<double>(page.percentage)));
    profile.SetString(offset, PageName(p, "OFFSETUPPER"), Format("%d", page.offsetUpper));
    profile.SetString(offset, PageName(p, "OFFSETLOWER"), Format("%d", page.offsetLower));

    WriteChannels16(profile, PageName(p, "REFDATA"), page.refData);
    WriteChannels16(profile, PageName(p, "THRESHOLDHIGH"), page.thresholdHigh);
    WriteChannels16(profile, PageName(p, "THRESHOLDLOW"), page.thresholdLow);

    profile.SetString(PageName(p, "DATARANG"), "MAX", Format("%d", page.dataMax));
    profile.SetString(PageName(p, "DATARANGE"), "MIN", Format("%d", page.dataMin));

    const std::string mask = PageName(p, "MASK");
    for (int k = 0; k < PAGE_CHANNELS; ++k) {
        const int byte = page.mask[static_cast<std::size_t>(k)];
        profile.SetString(mask, ChannelKey(k), Format("%d", fpcTest == 0 ? (byte == 0 ? 1 : 0) : byte));
    }

    const std::string pearson = PageName(p, "PEARSON");
    profile.SetString(pearson, "EN", Format("%d", page.similarityOn ? 1 : 0));
    profile.SetString(pearson, "VAL", Format("%g", page.similarityThreshold));
}

// Every section the current format writes for a page.
constexpr const char* PAGE_SECTIONS[] = {"OFFSET", "REFDATA", "THRESHOLDHIGH", "THRESHOLDLOW",
                                         "DATARANG", "DATARANGE", "MASK", "PEARSON"};

bool HasAnyPageSection(const Profile& profile, int p)
{
    for (const char* suffix : PAGE_SECTIONS)
        if (profile.HasSection(PageName(p, suffix)))
            return true;
    return false;
}

// What a current file always has: the grid's size.
std::vector<std::string> MissingGlobalKeys(const Profile& profile)
{
    if (!profile.HasSection("GLOBAL"))
        return {"[GLOBAL]"};
    std::vector<std::string> missing;
    for (const char* key : {"ROW", "COL"})
        if (!profile.HasKey("GLOBAL", key))
            missing.push_back(std::string("[GLOBAL] ") + key);
    return missing;
}

// A missing file is a failure for the loaders: there is nothing to load.
std::optional<Profile> ReadProfileFile(const std::string& path, ConfigurationRefusal& refusal)
{
    std::string text;
    if (const auto failure = ReadFileContent(path, text)) {
        refusal.unreadable = failure->Reason();
        return std::nullopt;
    }
    return Profile::FromText(text);
}

bool Holdable(int rows, int columns)
{
    return rows >= 0 && rows <= GRID_MAX_ROWS && columns >= 0 && columns <= GRID_MAX_COLUMNS &&
           rows * columns <= PAGE_COUNT;
}

} // namespace

int Configuration::PageCount() const
{
    if (rows <= 0 || columns <= 0)
        return 0;
    const long long n = static_cast<long long>(rows) * columns;
    return n > PAGE_COUNT ? PAGE_COUNT : static_cast<int>(n);
}

PageConfiguration DefaultPage()
{
    return PageFromRecord(DefaultPageRecord());
}

ConfigurationRead ReadConfiguration(const Profile& profile)
{
    ConfigurationRead result;
    // Without the grid's size the file is no configuration: reading it would empty the grid.
    result.refusal.missing = MissingGlobalKeys(profile);
    if (!result.refusal.missing.empty()) {
        result.refusal.otherFormat = MissingOldSections(profile).empty();
        return result;
    }
    const long fpcTest = GetLong(profile, "GLOBAL", "FPCTEST");
    const long columns = GetLong(profile, "GLOBAL", "COL");
    const long rows = GetLong(profile, "GLOBAL", "ROW");
    // Sizes are compared at full width so that 2^32 + 1 is not taken for 1.
    if (rows < 0 || rows > GRID_MAX_ROWS || columns < 0 || columns > GRID_MAX_COLUMNS ||
        !Holdable(static_cast<int>(rows), static_cast<int>(columns))) {
        result.refusal.rows = static_cast<int>(rows);
        result.refusal.columns = static_cast<int>(columns);
        return result;
    }

    Configuration configuration;
    configuration.fpcTest = static_cast<int>(fpcTest);
    configuration.columns = static_cast<int>(columns);
    configuration.rows = static_cast<int>(rows);
    for (int p = 0; p < configuration.PageCount(); ++p) {
        // A page the file says nothing about would read as zero limits; it keeps the start-up page.
        const bool described = HasAnyPageSection(profile, p);
        configuration.pages[static_cast<std::size_t>(p)] = described ? ReadPage(profile, p, fpcTest) : DefaultPage();
        if (!described)
            result.defaultedPages.push_back(p);
    }
    result.configuration = configuration;
    return result;
}

void WriteConfiguration(const Configuration& configuration, Profile& profile)
{
    profile.SetString("GLOBAL", "FPCTEST", Format("%d", configuration.fpcTest));
    profile.SetString("GLOBAL", "COL", Format("%d", configuration.columns));
    profile.SetString("GLOBAL", "ROW", Format("%d", configuration.rows));
    for (int p = 0; p < configuration.PageCount(); ++p)
        WritePage(profile, p, configuration.pages[static_cast<std::size_t>(p)], configuration.fpcTest);
}

PageConfiguration ReadOldConfiguration(const Profile& profile)
{
    PageConfiguration page;
    // Two flags for one field, as two radio buttons would leave them: "offsetfunction1" means limits
    // by percentage, "offsetfunction2" limits by value. Percentage only when the first is set and the
    // second is not; anything else, missing keys included, is by value, as a missing key gives 0.
    const bool byPercentage = GetLong(profile, "offset", "offsetfunction1") != 0;
    const bool byValue = GetLong(profile, "offset", "offsetfunction2") != 0;
    page.offsetType = byPercentage && !byValue ? 1 : 0;
    page.percentage = static_cast<float>(GetDouble(profile, "offset", "offsetvalue1"));
    page.offsetUpper = static_cast<std::int32_t>(GetLong(profile, "offset", "offsetvalue_up"));
    page.offsetLower = static_cast<std::int32_t>(GetLong(profile, "offset", "offsetvalue_down"));

    ReadChannels16(profile, "baseline", page.refData, "ch%d");
    ReadChannels16(profile, "upperlimit", page.thresholdHigh, "ch%d");
    ReadChannels16(profile, "lowerlimit", page.thresholdLow, "ch%d");

    page.dataMax = static_cast<std::int32_t>(GetLong(profile, "datarange", "maxvalue"));
    page.dataMin = static_cast<std::int32_t>(GetLong(profile, "datarange", "minvalue"));

    for (int k = 0; k < PAGE_CHANNELS; ++k)
        page.mask[static_cast<std::size_t>(k)] =
            GetLong(profile, "channelenable", Format("ch_en%d", k)) == 0 ? 1 : 0;
    return page;
}

std::vector<std::string> MissingOldSections(const Profile& profile)
{
    std::vector<std::string> missing;
    for (const char* section : {"upperlimit", "lowerlimit", "channelenable"})
        if (!profile.HasSection(section))
            missing.push_back(std::string("[") + section + "]");
    return missing;
}

void ApplyPageToTable(int index, const PageConfiguration& page)
{
    if (index < 0 || index >= PAGE_COUNT)
        return;
    std::lock_guard<std::recursive_mutex> lock(pageTableLock());
    PageRecord& record = pageTable[index];
    for (int k = 0; k < PAGE_CHANNELS; ++k) {
        const auto i = static_cast<std::size_t>(k);
        record.thresholdHigh[k] = page.thresholdHigh[i];
        record.thresholdLow[k] = page.thresholdLow[i];
        record.mask[k] = page.mask[i];
        record.refData[k] = page.refData[i];
    }
    record.dataMax = page.dataMax;
    record.dataMin = page.dataMin;
    record.offsetType = page.offsetType;
    record.percentage = page.percentage;
    record.offsetUpper = page.offsetUpper;
    record.offsetLower = page.offsetLower;
}

void ApplyConfiguration(const Configuration& configuration, CColorBar& grid, const std::function<void(int)>& afterPage)
{
    grid.SetFpcTestMode(configuration.fpcTest);
    grid.SetColumns(configuration.columns);
    grid.SetRows(configuration.rows);
    for (int p = 0; p < configuration.PageCount(); ++p) {
        const PageConfiguration& page = configuration.pages[static_cast<std::size_t>(p)];
        ApplyPageToTable(p, page);
        const int column = p % configuration.columns;
        const int row = p / configuration.columns;
        grid.SetSimilarityOn(column, row, page.similarityOn);
        grid.SetSimilarityThreshold(column, row, page.similarityThreshold);
        if (afterPage)
            afterPage(p);
    }
}

PageConfiguration PageFromRecord(const PageRecord& record)
{
    const PageChannels channels = UnpackChannels(record);
    PageConfiguration page;
    page.thresholdHigh = channels.thresholdHigh;
    page.thresholdLow = channels.thresholdLow;
    page.mask = channels.mask;
    page.refData = channels.refData;
    page.dataMax = channels.dataMax;
    page.dataMin = channels.dataMin;
    page.offsetType = record.offsetType;
    page.percentage = record.percentage;
    page.offsetUpper = record.offsetUpper;
    page.offsetLower = record.offsetLower;
    return page;
}

Configuration CaptureConfiguration(const CColorBar& grid)
{
    Configuration configuration;
    configuration.fpcTest = grid.GetFpcTestMode();
    configuration.columns = grid.GetColumns();
    configuration.rows = grid.GetRows();
    std::lock_guard<std::recursive_mutex> lock(pageTableLock());
    for (int p = 0; p < configuration.PageCount(); ++p) {
        PageConfiguration& page = configuration.pages[static_cast<std::size_t>(p)];
        page = PageFromRecord(pageTable[p]);
        const int column = p % configuration.columns;
        const int row = p / configuration.columns;
        page.similarityOn = grid.GetSimilarityOn(column, row);
        page.similarityThreshold = grid.GetSimilarityThreshold(column, row);
    }
    return configuration;
}

ConfigurationRead ReadConfigurationFile(const std::string& path)
{
    ConfigurationRead result;
    if (const std::optional<Profile> profile = ReadProfileFile(path, result.refusal))
        result = ReadConfiguration(*profile);
    return result;
}

bool LoadConfigurationFile(const std::string& path, CColorBar& grid,
                           std::optional<ConfigurationRefusal>& refusal)
{
    refusal.reset();
    const ConfigurationRead result = ReadConfigurationFile(path);
    if (!result.configuration) {
        refusal = result.refusal;
        return false;
    }
    ApplyConfiguration(*result.configuration, grid);
    return true;
}

bool SaveConfigurationFile(const std::string& path, const CColorBar& grid, std::string* error)
{
    const Configuration configuration = CaptureConfiguration(grid);
    Profile profile;
    // Keys go into the existing file so that everything else in it stays.
    const bool saved = profile.Load(path) && (WriteConfiguration(configuration, profile), profile.Save(path));
    if (!saved && error)
        *error = profile.Error();
    return saved;
}

OldConfigurationRead ReadOldConfigurationFile(const std::string& path)
{
    OldConfigurationRead result;
    const std::optional<Profile> profile = ReadProfileFile(path, result.refusal);
    if (!profile)
        return result;
    // A current file read this way would mask every channel of page 0: none of its sections match.
    result.refusal.missing = MissingOldSections(*profile);
    if (!result.refusal.missing.empty()) {
        result.refusal.otherFormat = MissingGlobalKeys(*profile).empty();
        return result;
    }
    result.page = ReadOldConfiguration(*profile);
    return result;
}

bool LoadOldConfigurationFile(const std::string& path, ConfigurationRefusal* refusal)
{
    const OldConfigurationRead result = ReadOldConfigurationFile(path);
    if (refusal)
        *refusal = result.refusal;
    if (!result.page)
        return false;
    ApplyPageToTable(0, *result.page);
    return true;
}
