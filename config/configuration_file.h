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

// A file the grid cannot hold: ROW or COL outside 0..10, or more pages than the table has.
struct ConfigurationRefusal {
    int rows = 0;
    int columns = 0;
};

struct ConfigurationRead {
    std::optional<Configuration> configuration; // empty when refused
    ConfigurationRefusal refusal;                // the offending size, for a message
};

// Current format. Missing sections or keys read as 0; a file without GLOBAL gives a 0 x 0 grid.
ConfigurationRead ReadConfiguration(const Profile& profile);

// Sets every key of `configuration` into `profile` in file order; keys and sections already in the
// profile but beyond the configuration's pages stay as they are.
void WriteConfiguration(const Configuration& configuration, Profile& profile);

// Old single-sensor format: the page-table fields of page 0. The similarity fields stay at their
// defaults; the old format has none.
PageConfiguration ReadOldConfiguration(const Profile& profile);

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

// The path-level operations: false only when the file could not be read or written (Profile's
// error then tells why). A refused file changes nothing and fills `refusal`.
bool LoadConfigurationFile(const std::string& path, CColorBar& grid,
                           std::optional<ConfigurationRefusal>& refusal);
bool SaveConfigurationFile(const std::string& path, const CColorBar& grid, std::string* error = nullptr);
bool LoadOldConfigurationFile(const std::string& path);
