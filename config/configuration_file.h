#pragma once
// Test configuration files: the limits of every page plus the grid's size, FPC-test mode and
// similarity settings, in the current INI layout and the old single-sensor one (read only).
//
// The codec (Read*/Write*) works on a Profile and plain structs only, no globals, so it can be
// fuzzed and tested without a window. The Apply*/Capture* functions are the thin bridge to
// pageTable and the grid.
#include "page_table.h"
#include "profile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CColorBar;

// What the file holds for one page: the pageTable fields it carries (channels 0..31) and the
// similarity settings of the page's grid cell.
struct PageConfiguration {
    std::array<std::uint16_t, PAGE_CHANNELS> thresholdHigh{};
    std::array<std::uint16_t, PAGE_CHANNELS> thresholdLow{};
    std::array<std::uint8_t, PAGE_CHANNELS> mask{};
    std::array<std::uint16_t, PAGE_CHANNELS> refData{};
    std::int32_t dataMax = 0;
    std::int32_t dataMin = 0;
    std::uint8_t offsetType = 0;
    float percentage = 0.0f;
    std::int32_t offsetUpper = 0;
    std::int32_t offsetLower = 0;
    bool similarityOn = false;
    double similarityThreshold = 0.0;

    bool operator==(const PageConfiguration&) const = default;
};

struct Configuration {
    int fpcTest = 0;
    int columns = 0;
    int rows = 0;
    // Only pages 0..PageCount()-1 are meaningful.
    std::array<PageConfiguration, PAGE_COUNT> pages{};

    // rows x columns, limited to the table's size.
    int PageCount() const;
};

// Why a file was not loaded: it could not be read, it is not of the format asked for (it lacks
// what the format always has), or the grid cannot hold it (ROW or COL outside 0..10, or more
// pages than the table has).
struct ConfigurationRefusal {
    std::string unreadable;           // the system's reason, when the file could not be read
    std::vector<std::string> missing; // as named in files: "[GLOBAL]", "[GLOBAL] ROW", "[upperlimit]"
    bool otherFormat = false;         // with `missing`: the file is of the other format
    int rows = 0;                     // otherwise: the size the grid cannot hold
    int columns = 0;
};

struct ConfigurationRead {
    std::optional<Configuration> configuration; // empty when refused
    ConfigurationRefusal refusal;
    // Pages of the grid of which the file has no section at all: they hold DefaultPage(). A page
    // with some of its sections reads its missing keys as 0.
    std::vector<int> defaultedPages;
};

// Current format. A file without ROW and COL in [GLOBAL] is refused; other missing keys read as 0.
ConfigurationRead ReadConfiguration(const Profile& profile);

// The page the table holds from start-up on (InitPageTableDefaults), similarity off.
PageConfiguration DefaultPage();

// Sets every key of `configuration` into `profile` in file order; keys and sections already in the
// profile but beyond the configuration's pages stay as they are.
void WriteConfiguration(const Configuration& configuration, Profile& profile);

// Old single-sensor format: the page-table fields of page 0. The similarity fields stay at their
// defaults; the old format has none.
PageConfiguration ReadOldConfiguration(const Profile& profile);
// The sections of the old format that the file lacks, of those that say what is tested and
// against what; a file that lacks any is not an old configuration.
std::vector<std::string> MissingOldSections(const Profile& profile);

// The page-table fields of a record (similarity settings left at their defaults). The caller holds
// pageTableLock when the record is in the table.
PageConfiguration PageFromRecord(const PageRecord& record);

// Copies the page-table fields of `page` into pageTable[index] under pageTableLock.
void ApplyPageToTable(int index, const PageConfiguration& page);

// Sets the grid's FPC-test mode and size, then pages 0..PageCount()-1 of the table and their
// cells' similarity settings, calling afterPage(p) once page p is in place (the boards' downloads).
// Pages beyond the configuration stay.
void ApplyConfiguration(const Configuration& configuration, CColorBar& grid,
                        const std::function<void(int)>& afterPage = {});

// The current state from the grid and pageTable, as SaveConfiguration writes it.
Configuration CaptureConfiguration(const CColorBar& grid);

// The path-level operations. A file that cannot be read, is not of the format asked for or does
// not fit the grid changes nothing: the loaders then return false and fill `refusal`. Unlike
// Profile::Load, a missing file is a failure here.
ConfigurationRead ReadConfigurationFile(const std::string& path);
bool LoadConfigurationFile(const std::string& path, CColorBar& grid,
                           std::optional<ConfigurationRefusal>& refusal);
bool SaveConfigurationFile(const std::string& path, const CColorBar& grid, std::string* error = nullptr);

struct OldConfigurationRead {
    std::optional<PageConfiguration> page; // empty when refused
    ConfigurationRefusal refusal;
};
OldConfigurationRead ReadOldConfigurationFile(const std::string& path);
bool LoadOldConfigurationFile(const std::string& path, ConfigurationRefusal* refusal = nullptr);
